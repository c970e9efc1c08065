#pragma once

namespace kqc {

// Lets a combo box that was given an accessible name announce that name to assistive technology.
// Qt on Linux and other Unix systems names a combo box by its current value instead; there the
// value stays where it already is (the edit field of an editable box, the selected item of its
// list, the value text). Everything else is Qt's own combo box interface. Safe to call more than
// once; needs a QApplication.
void AnnounceComboBoxNames();

}  // namespace kqc
