#include "mainwindow/frmKolvik.h"

namespace kolvik {

// Placeholder until the encryption and decryption runs are built.
void frmKolvik::cmdGoEncrypt_Click() {}
void frmKolvik::cmdGoDecrypt_Click() {}

}  // namespace kolvik
