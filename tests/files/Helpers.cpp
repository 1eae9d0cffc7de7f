#include "Helpers.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <sstream>

namespace kolvik::test {
namespace fs = std::filesystem;

Tree Snapshot(const std::string& root) {
    Tree out;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        out[e.path().lexically_relative(root).string()] =
            e.is_symlink()        ? "link:" + fs::read_symlink(e.path()).string()
            : e.is_directory()    ? std::string("dir")
            : e.is_regular_file() ? "file:" + ReadFile(e.path().string())
                                  : std::string("other");
    }
    return out;
}

Window::Window(const std::string& key) : TestWindow(programFolder.path()) {
    form->txtPassword_1.text = form->txtPassword_2.text = form->CipherKey = key;
    form->ModeTime = std::chrono::system_clock::now() + std::chrono::hours(1);
    form->LoggingOn = true;
    form->FileLeft = [this](const std::string& path, LeftReason r) { left.emplace_back(path, r); };
}

void Window::Run(const std::string& target, bool decrypting) {
    form->DecryptMode = decrypting;
    form->ProcessTarget(target);
    form->WalkFolder(target);
    form->FlushPendingOriginals();
}

void Window::RunFile(const std::string& folder, std::string name, bool decrypting) {
    form->HasFileTarget = true;
    form->DecryptMode = decrypting;
    decrypting ? form->DecryptFile(name, folder) : form->EncryptFile(name, folder);
    form->FlushPendingOriginals();
}

std::vector<std::string> Window::Skips() const {
    std::vector<std::string> names;
    std::istringstream log(ReadFile(programFolder / "Kolvik.log"));
    // "12:34:56 SKIP name" in quotes, ended by CR LF.
    for (std::string line; std::getline(log, line);)
        if (line.starts_with("\"12:34:56 SKIP "))
            names.push_back(line.substr(15, line.size() - 17));
    return names;
}

void SetMtime(const std::string& path, std::chrono::system_clock::time_point t) {
    const auto ns = std::chrono::nanoseconds(t.time_since_epoch()).count();
    const timespec times[2] = {{0, UTIME_OMIT}, {ns / 1000000000, ns % 1000000000}};
    ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

}  // namespace kolvik::test
