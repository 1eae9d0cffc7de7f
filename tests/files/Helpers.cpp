#include "Helpers.h"

#include <fcntl.h>

#include <filesystem>

namespace kolvik::test {
namespace fs = std::filesystem;

std::map<std::string, std::string> Snapshot(const std::string& root) {
    std::map<std::string, std::string> out;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const std::string rel = fs::relative(it->path(), root).string();
        const auto status = it->symlink_status();
        if (fs::is_symlink(status)) out[rel] = "link:" + fs::read_symlink(it->path()).string();
        else if (fs::is_directory(status)) out[rel] = "dir";
        else if (fs::is_regular_file(status)) out[rel] = "file:" + ReadFile(it->path().string());
        else out[rel] = "other";
    }
    return out;
}

Window::Window(const std::string& key) : TestWindow(programFolder.path()) {
    form->txtPassword_1.text = form->txtPassword_2.text = key;
    form->CipherKey = key;
    form->ModeTime = std::chrono::system_clock::now() + std::chrono::hours(1);
}

void Window::Encrypt(const std::string& target) {
    form->DecryptMode = false;
    form->ProcessTarget(target);
    form->WalkFolder(target);
    form->FlushPendingOriginals();
}

void Window::Decrypt(const std::string& target) {
    form->DecryptMode = true;
    form->ProcessTarget(target);
    form->WalkFolder(target);
    form->FlushPendingOriginals();
}

std::string Window::Log() const { return ReadFile(programFolder / "Kolvik.log"); }

void SetMtime(const std::string& path, std::chrono::system_clock::time_point t) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
    const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)}};
    ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

}  // namespace kolvik::test
