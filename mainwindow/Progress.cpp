// SPDX-License-Identifier: GPL-3.0-or-later
#include <cmath>

#include "mainwindow/frmKolvik.h"

namespace kolvik {

namespace {
constexpr int kBlockSpacing = 150;
}

void frmKolvik::BuildProgressBar() {
    for (int i = 1; i < kBlocks; ++i) {
        element[i] = element[0];
        element[i].name = "element(" + std::to_string(i) + ")";
        element[i].place.left = i * kBlockSpacing;
        element[i].visible = false;
    }
}

void frmKolvik::ResetFileProgress() {
    // A stopped run leaves the bar as it was.
    if (session.StopRequested()) return;
    for (auto& block : element) block.visible = false;
}

void frmKolvik::ShowFileProgress(std::int64_t position, std::int64_t fileBytes) {
    if (fileBytes == 0) return;
    const int n = static_cast<int>(
        std::floor(static_cast<double>(position) / static_cast<double>(fileBytes) * (kBlocks - 1)));
    // A new file starts again at block 0.
    if (NextBlock > n) NextBlock = 0;
    for (int i = NextBlock; i <= n; ++i) {
        // Past the last block the update stops and NextBlock stays as it was.
        if (i >= kBlocks) return;
        element[i].visible = true;
    }
    NextBlock = n + 1;
}

void frmKolvik::ShowTotalFiles() {
    lblTotalFiles.text = "Gedaan: " + std::to_string(session.Stats().FilesDone) +
                         "\r\nOvergeslagen: " + std::to_string(session.Stats().FilesSkipped);
}

void frmKolvik::ShowPercentage(std::int64_t done, std::int64_t total) {
    if (total == 0) return;  // the label keeps its text
    lblPercentage.text = PercentageText(done, total, svc.regional.DecimalSeparator());
}

std::string PercentageText(std::int64_t done, std::int64_t total,
                           const std::string& decimalSeparator) {
    const auto tenths = static_cast<std::int64_t>(
        std::floor(static_cast<double>(done) / static_cast<double>(total) * 1000.0));
    std::string number = std::to_string(tenths / 10);
    if (tenths % 10 != 0) number += decimalSeparator + std::to_string(std::abs(tenths % 10));
    return "       " + number + " %";
}

}  // namespace kolvik
