// SPDX-License-Identifier: GPL-3.0-or-later
// The per-user registry store on hostile files: loading an arbitrary store and importing an
// arbitrary registry script into it, then a write and its read-back.
//
// Input: store-bytes NUL script-bytes. Without a NUL the whole input is the store.
// FileRegistry works on files, so both go to a folder in RAM made once per process.
#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/RegistryStore.h"

namespace {

using namespace kolvik;

[[noreturn]] void Fail(const char* what, std::string_view detail) {
    std::fprintf(stderr, "fuzz_registry: %s [%.*s]\n", what, static_cast<int>(detail.size()),
                 detail.data());
    std::abort();
}

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* e = readdir(dir)) {
            const std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(n);
        }
        closedir(dir);
    }
    return names;
}

void Clear(const std::string& folder) {
    for (const auto& n : Entries(folder)) unlink((folder + "/" + n).c_str());
}

// Kept for the whole process (the exit handler still needs it), so made once and never freed.
const std::string& ScratchFolder() {
    static const std::string* folder = [] {
        std::string pattern = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                              std::string("/kolvik-fuzz-XXXXXX");
        if (!mkdtemp(pattern.data())) Fail("no scratch folder", pattern);
        std::atexit([] {
            Clear(ScratchFolder());
            rmdir(ScratchFolder().c_str());
        });
        return new std::string(pattern);
    }();
    return *folder;
}

void WriteFile(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::optional<std::string> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A store that was written must load again as written (otherwise the next run would take it
// for damaged and start afresh), and still hold every key it held before.
void CheckWrittenStore(const std::string& storePath, std::string_view before,
                       const RegTree* keysBefore) {
    const auto bytes = ReadFile(storePath);
    if (!bytes || *bytes == before) return;
    RegTree tree;
    if (!MergeScript(*bytes, tree, true)) Fail("written store does not load", *bytes);
    if (tree.Serialize() != *bytes) Fail("written store changes on reload", *bytes);
    if (!keysBefore) return;
    for (const auto& key : keysBefore->KeyPaths()) {
        if (!tree.HasKey(key)) Fail("key lost", key);
    }
}

// A damaged store is never lost: the file kept aside holds exactly its bytes.
void CheckKeptAside(const std::string& folder, std::string_view store) {
    bool found = false;
    for (const auto& n : Entries(folder)) {
        if (n.find(".kapot-") == std::string::npos) continue;
        found = true;
        if (ReadFile(folder + "/" + n) != std::string(store)) Fail("kept-aside store differs", n);
    }
    if (!found) Fail("damaged store not kept aside", store);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(bytes), size);
    const std::size_t cut = input.find('\0');
    const std::string_view store = input.substr(0, cut);
    const std::string_view script =
        cut == std::string_view::npos ? std::string_view{} : input.substr(cut + 1);

    const std::string& folder = ScratchFolder();
    Clear(folder);
    const std::string storePath = folder + "/registry.reg";
    const std::string scriptPath = folder + "/script.reg";
    if (!store.empty()) WriteFile(storePath, store);  // none at all: the first start
    WriteFile(scriptPath, script);

    RegTree original;
    const bool readable = MergeScript(store, original, true);

    // Importing loads the store first, and saves the merge only when there is one to save.
    FileRegistry registry(storePath);
    std::vector<std::string> notices;
    registry.onNotice = [&](const std::string& text) { notices.push_back(text); };
    registry.Import(scriptPath);
    if (notices.empty() !=
        (readable || store.find_first_not_of(" \t\r\n") == std::string_view::npos))
        Fail("notice does not match the store's state", store);
    if (!notices.empty()) CheckKeptAside(folder, store);
    CheckWrittenStore(storePath, store, readable ? &original : nullptr);
    return 0;
}
