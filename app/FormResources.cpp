#include "app/FormResources.h"

#include <QtGlobal>

void registerFormResources() {
    Q_INIT_RESOURCE(forms);
}
