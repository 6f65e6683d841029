#pragma once

namespace pelvaro {

// What the list page's reads and the clearing of the list need of the
// personnel-number mode.
class PersonnelPage {
public:
    virtual ~PersonnelPage() = default;

    // The mode is on: its menu item is checked.
    virtual bool personnelMode() const = 0;
    // Takes the current code as a card of the personnel table.
    virtual void HandlePersonnelCard() = 0;
    // Reloads the personnel grid from the table.
    virtual void FillPersonnelGrid() = 0;
};

} // namespace pelvaro
