// SPDX-License-Identifier: GPL-3.0-or-later
// kolvik-cli's console on Windows: UTF-16 at the console, UTF-8 bytes when redirected, and
// Ctrl+C through the console's control handler.
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <streambuf>
#include <string_view>

#include "app/Console.h"
#include "platform/windows/WideText.h"
#include "platform/windows/WindowsRegistry.h"
#include "platform/windows/WindowsServices.h"
#include "session/SecretText.h"

// After our headers: windows.h defines Yield as a macro.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// shellapi.h needs the types of windows.h.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

namespace kolvik::cli::console {
namespace {

using win::Utf8;
using win::Wide;

std::atomic<int> gSignal{0};

// Ctrl+C and Ctrl+Break stop a run as SIGINT does on Linux; closing the console, logging off
// and shutting down as SIGTERM does.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    const int signal = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? SIGINT : SIGTERM;
    int none = 0;
    gSignal.compare_exchange_strong(none, signal);
    return TRUE;
}

bool IsConsole(DWORD which) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

// Length of the longest prefix of whole UTF-8 characters; the rest waits for its bytes.
std::size_t WholeCharacters(const std::string& bytes) {
    std::size_t end = bytes.size();
    for (std::size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
        const auto byte = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: look further back
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        if (length > back) end = bytes.size() - back;
        break;
    }
    return end;
}

// UTF-8 text to a console as UTF-16, whatever the console's code page.
class ConsoleBuffer : public std::streambuf {
  public:
    // Without terminal sequences (a console before Windows 10, or one that refuses them) the
    // erase-line sequence is carried out here, so that no raw "ESC[K" reaches the screen.
    ConsoleBuffer(HANDLE console, bool sequences) : console_(console), sequences_(sequences) {}

  protected:
    int_type overflow(int_type c) override {
        if (c != traits_type::eof()) pending_ += static_cast<char>(c);
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        pending_.append(s, static_cast<std::size_t>(n));
        return n;
    }
    int sync() override {
        const std::size_t whole = WholeCharacters(pending_);
        std::string bytes = pending_.substr(0, whole);
        pending_.erase(0, whole);
        if (!sequences_) {
            static constexpr std::string_view kEraseLine = "\033[K";
            for (std::size_t at; (at = bytes.find(kEraseLine)) != std::string::npos;) {
                if (!Put(bytes.substr(0, at))) return -1;
                EraseToEndOfLine();
                bytes.erase(0, at + kEraseLine.size());
            }
        }
        return Put(bytes) ? 0 : -1;
    }

  private:
    bool Put(const std::string& bytes) {
        const std::wstring text = Wide(bytes);
        DWORD written = 0;
        return text.empty() || WriteConsoleW(console_, text.data(), static_cast<DWORD>(text.size()),
                                             &written, nullptr);
    }
    // Blanks from the cursor to the end of its line, the cursor staying where it was.
    void EraseToEndOfLine() {
        CONSOLE_SCREEN_BUFFER_INFO info{};
        if (!GetConsoleScreenBufferInfo(console_, &info)) return;
        const COORD at = info.dwCursorPosition;
        const DWORD count = static_cast<DWORD>(std::max(0, info.dwSize.X - at.X));
        DWORD written = 0;
        FillConsoleOutputCharacterW(console_, L' ', count, at, &written);
        SetConsoleCursorPosition(console_, at);
    }

    HANDLE console_;
    bool sequences_;
    std::string pending_;
};

void SetUpStream(std::ostream& stream, DWORD which, int fd) {
    if (!IsConsole(which)) {
        // Bytes as they are, with the same line ends as on Linux.
        _setmode(fd, _O_BINARY);
        return;
    }
    const HANDLE console = GetStdHandle(which);
    DWORD mode = 0;
    GetConsoleMode(console, &mode);
    // The progress line is redrawn with "\r" and an erase-line sequence, which only a console
    // that takes terminal sequences understands.
    const bool sequences = SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
    static ConsoleBuffer* buffers[2] = {};
    ConsoleBuffer*& buffer = buffers[fd == 1 ? 0 : 1];
    buffer = new ConsoleBuffer(console, sequences);  // lives as long as the stream
    stream.flush();
    stream.rdbuf(buffer);
    stream.setf(std::ios::unitbuf);
}

// A line from the console, its line end taken off, into out; false when the console's input
// ended or a stop request broke the read off. No other copy of the line is left.
bool ReadConsoleLine(HANDLE in, std::string& out) {
    constexpr DWORD kChunk = 256;
    std::wstring line;
    line.reserve(kPasswordReadLimit + kChunk);  // never moved while it grows
    wchar_t chunk[kChunk];
    bool read = false;
    for (;;) {
        DWORD got = 0;
        if (!ReadConsoleW(in, chunk, kChunk, &got, nullptr) || got == 0 || gSignal != 0) break;
        line.append(chunk, got);
        const std::size_t end = line.find_first_of(L"\r\n");
        if (end != std::wstring::npos) line.resize(end);
        if (end != std::wstring::npos || line.size() > kPasswordReadLimit) {
            read = true;
            break;
        }
    }
    if (read) {
        std::string utf8 = Utf8(line);
        ReplaceText(out, utf8);
        WipeText(utf8);
    }
    WipeText(line);
    crypto::Wipe(chunk, sizeof chunk);
    return read;
}

}  // namespace

std::vector<std::string> Start(int, char**) {
    SetUpStream(std::cout, STD_OUTPUT_HANDLE, 1);
    SetUpStream(std::cerr, STD_ERROR_HANDLE, 2);
    // The arguments as the system holds them, in UTF-16, not in the ANSI code page of argv.
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> out;
    for (int i = 1; arguments && i < count; ++i) out.push_back(Utf8(arguments[i]));
    LocalFree(arguments);
    return out;
}

void CatchStopRequests() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

int StopSignal() { return gSignal; }

bool InputIsTerminal() { return IsConsole(STD_INPUT_HANDLE); }
bool ErrorIsTerminal() { return IsConsole(STD_ERROR_HANDLE); }

bool PromptHidden(const char* prompt, std::string& line) {
    std::cerr << prompt << std::flush;
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    GetConsoleMode(in, &mode);
    SetConsoleMode(in, (mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) | ENABLE_LINE_INPUT |
                           ENABLE_PROCESSED_INPUT);
    const bool read = ReadConsoleLine(in, line);
    SetConsoleMode(in, mode);
    std::cerr << '\n';
    return read;
}

PasswordLine ReadPasswordFromInput() {
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    if (IsConsole(STD_INPUT_HANDLE)) {
        // Typed text is UTF-16 at the console; judged as the same line in UTF-8.
        std::string line;
        const bool read = ReadConsoleLine(in, line);
        std::string ended;
        ended.reserve(line.size() + 1);
        ended.append(line).append(read ? "\n" : "");
        WipeText(line);
        PasswordLine judged = JudgeFirstLine(ended, !read, "standaardinvoer");
        WipeText(ended);
        return judged;
    }
    _setmode(0, _O_BINARY);
    return ReadPasswordLine(0, "standaardinvoer");
}

PasswordLine ReadPasswordFromFile(const std::string& path, const std::string& openError) {
    const int fd = _wopen(Wide(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) return {std::nullopt, openError};
    PasswordLine line = ReadPasswordLine(fd, path);
    _close(fd);
    return line;
}

Host OpenHost(int, char**, const std::function<void(const std::string&)>&) {
    return {std::make_unique<SystemClock>(), std::make_unique<UserRegional>(),
            std::make_unique<WindowsRegistry>(), ReadProcessFacts()};
}

}  // namespace kolvik::cli::console
