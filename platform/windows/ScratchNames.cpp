// SPDX-License-Identifier: GPL-3.0-or-later
// The names of Kolvik's scratch files on Windows.
#include <atomic>
#include <string_view>

#include "platform/windows/SafeFileParts.h"

namespace kolvik::safefile {
namespace {

DWORD CurrentProcess() { return ::GetCurrentProcessId(); }

}  // namespace

std::string NextScratchName() {
    static std::atomic<unsigned> counter{0};
    return std::string(kScratchPrefix) + std::to_string(CurrentProcess()) + "-" +
           std::to_string(++counter);
}

// ".kolvik-tijdel-PID-N", as Copy::Create names its scratch copies; any other name is the user's.
bool IsScratchName(const std::string& name) {
    if (name.rfind(kScratchPrefix, 0) != 0) return false;
    const std::string_view rest = std::string_view(name).substr(kScratchPrefix.size());
    const std::size_t dash = rest.find('-');
    const auto number = [](std::string_view digits) {
        return !digits.empty() && digits.size() <= 10 &&
               digits.find_first_not_of("0123456789") == std::string_view::npos;
    };
    return dash != std::string_view::npos && number(rest.substr(0, dash)) &&
           number(rest.substr(dash + 1));
}

}  // namespace kolvik::safefile
