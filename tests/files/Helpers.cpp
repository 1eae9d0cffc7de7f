#include "Helpers.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>

namespace kolvik::test {
namespace fs = std::filesystem;

std::map<std::string, std::string> Snapshot(const std::string& root) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        out[fs::relative(e.path(), root).string()] =
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

void SetMtime(const std::string& path, std::chrono::system_clock::time_point t) {
    const auto ns = std::chrono::nanoseconds(t.time_since_epoch()).count();
    const timespec times[2] = {{0, UTIME_OMIT}, {ns / 1000000000, ns % 1000000000}};
    ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

}  // namespace kolvik::test
