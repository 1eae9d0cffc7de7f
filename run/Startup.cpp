#include "mainwindow/frmKolvik.h"

namespace kolvik {

// Placeholder until start-up is built: only what the window needs to open.
void frmKolvik::Form_Load() {
    BuildProgressBar();
    UpdateCapsLockNotice();
}

}  // namespace kolvik
