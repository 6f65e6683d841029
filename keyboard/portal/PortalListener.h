#pragma once

#include <QObject>
#include <QVariantMap>
#include <functional>

namespace pelvaro {

// Takes a signal of the desktop portal on the session bus to a function: a
// Request's Response, or a Session's Closed.
class PortalListener final : public QObject {
    Q_OBJECT
public:
    using Response = std::function<void(uint response, const QVariantMap& results)>;
    using Closed = std::function<void()>;

    explicit PortalListener(Response response) : response_(std::move(response)) {}
    explicit PortalListener(Closed closed) : closed_(std::move(closed)) {}

public slots:
    void respond(uint response, const QVariantMap& results) { response_(response, results); }
    void close(const QVariantMap&) { closed_(); }

private:
    Response response_;
    Closed closed_;
};

} // namespace pelvaro
