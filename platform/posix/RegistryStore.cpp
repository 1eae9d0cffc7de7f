// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/RegistryStore.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <utility>

#include "engine/Ansi.h"
#include "platform/HostFlavor.h"
#include "platform/posix/AtomicFile.h"
#include "shellfiles/RegistrationScripts.h"

namespace kolvik {

Flavor HostFlavor() { return Flavor::Linux; }

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";

// Letter case folded for ASCII and the Latin-1 capitals in UTF-8; "\" sorts below every
// other character so that a key's subkeys follow it directly.
std::string Fold(std::string_view s) {
    std::string out(s);
    for (std::size_t i = 0; i < out.size(); ++i) {
        auto c = static_cast<unsigned char>(out[i]);
        if (c >= 'A' && c <= 'Z')
            out[i] = static_cast<char>(c + 32);
        else if (c == '\\')
            out[i] = '\x01';
        else if (c == 0xC3 && i + 1 < out.size()) {
            // Only a continuation byte belongs to the letter: a stray lead byte in a damaged
            // store must not swallow the "\\" after it.
            const auto d = static_cast<unsigned char>(out[i + 1]);
            if (d >= 0x80 && d <= 0x9E && d != 0x97) out[i + 1] = static_cast<char>(d + 0x20);
            if (d >= 0x80 && d <= 0xBF) ++i;
        }
    }
    return out;
}

bool SameName(std::string_view a, std::string_view b) { return Fold(a) == Fold(b); }

// "HKCR\x\" and "HKEY_CLASSES_ROOT\x" name the same key; empty components name none.
std::optional<std::string> NormalKey(std::string_view path) {
    std::string p(path);
    const std::size_t cut = p.find('\\');
    const std::string hive = Fold(p.substr(0, cut));
    const std::string rest = cut == std::string::npos ? "" : p.substr(cut);
    if (hive == "hkcr")
        p = "HKEY_CLASSES_ROOT" + rest;
    else if (hive == "hkcu")
        p = "HKEY_CURRENT_USER" + rest;
    else if (hive == "hklm")
        p = "HKEY_LOCAL_MACHINE" + rest;
    else if (hive.rfind("hkey_", 0) != 0)
        return std::nullopt;
    if (p.find("\\\\") != std::string::npos || p.back() == '\\') return std::nullopt;
    return p;
}

// A name ending in "\" is a key's default value; otherwise the last "\" parts key and value.
std::optional<std::pair<std::string, std::string>> SplitName(std::string_view name) {
    const std::size_t cut = name.rfind('\\');
    if (cut == std::string_view::npos) return std::nullopt;
    auto key = NormalKey(name.substr(0, cut));
    if (!key) return std::nullopt;
    return std::pair{*key, std::string(name.substr(cut + 1))};
}

std::string Parent(std::string_view path) {
    const std::size_t cut = path.rfind('\\');
    return cut == std::string_view::npos ? "" : std::string(path.substr(0, cut));
}

std::string QuoteRegString(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

// Reads a quoted string at pos; pos ends after the closing quote.
std::optional<std::string> ReadQuoted(std::string_view line, std::size_t& pos) {
    if (pos >= line.size() || line[pos] != '"') return std::nullopt;
    std::string out;
    for (++pos; pos < line.size(); ++pos) {
        const char c = line[pos];
        if (c == '"') {
            ++pos;
            return out;
        }
        if (c == '\\') {
            if (++pos >= line.size() || (line[pos] != '\\' && line[pos] != '"'))
                return std::nullopt;
        }
        out += line[pos];
    }
    return std::nullopt;
}

void SkipBlanks(std::string_view line, std::size_t& pos) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
}

std::optional<RegValue> ParseValueLine(std::string_view line) {
    RegValue v;
    std::size_t pos = 0;
    if (line.starts_with('@')) {
        pos = 1;
    } else {
        auto name = ReadQuoted(line, pos);
        if (!name || name->empty()) return std::nullopt;
        v.name = *name;
    }
    SkipBlanks(line, pos);
    if (pos >= line.size() || line[pos] != '=') return std::nullopt;
    ++pos;
    SkipBlanks(line, pos);
    const std::string_view data = line.substr(pos);
    if (data.starts_with('"')) {
        auto text = ReadQuoted(line, pos);
        if (!text || pos != line.size()) return std::nullopt;
        v.text = *text;
        return v;
    }
    if (data.size() > 6 && Fold(data.substr(0, 6)) == "dword:" && data.size() <= 14) {
        std::uint32_t n = 0;
        for (char c : data.substr(6)) {
            int d;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            else
                return std::nullopt;
            n = n * 16 + static_cast<std::uint32_t>(d);
        }
        v.dword = true;
        v.number = n;
        return v;
    }
    return std::nullopt;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return s;
}

std::optional<std::string> ReadWholeFile(const std::string& path, int& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = errno;
        return std::nullopt;
    }
    std::string bytes;
    char buf[8192];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        error = EIO;
        return std::nullopt;
    }
    return bytes;
}

bool MakeFolders(const std::string& folder) {
    if (folder.empty() || folder == "/") return true;
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    const std::size_t cut = folder.rfind('/');
    if (cut != std::string::npos && cut > 0 && !MakeFolders(folder.substr(0, cut))) return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

std::string FolderOf(const std::string& path) {
    const std::size_t cut = path.rfind('/');
    if (cut == std::string::npos) return ".";
    return cut == 0 ? "/" : path.substr(0, cut);
}

// Serialises whole operations between running copies of the program.
class FolderLock {
  public:
    explicit FolderLock(const std::string& folder) {
        fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ >= 0) {
            while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~FolderLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

  private:
    int fd_ = -1;
};

std::string Timestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &tm);
    return buf;
}

}  // namespace

// ---- RegTree ----

bool RegTree::HasKey(std::string_view keyPath) const { return keys_.contains(Fold(keyPath)); }

const RegValue* RegTree::Find(std::string_view keyPath, std::string_view valueName) const {
    const auto it = keys_.find(Fold(keyPath));
    if (it == keys_.end()) return nullptr;
    for (const auto& v : it->second.values) {
        if (SameName(v.name, valueName)) return &v;
    }
    return nullptr;
}

void RegTree::CreateKey(std::string_view keyPath) {
    // Folding keeps every "\\" in place, so the folded parents are prefixes of the folded
    // path: a deep key costs one fold, not one per level.
    const std::string folded = Fold(keyPath);
    std::vector<std::size_t> missing;  // lengths of the missing keys, deepest first
    std::size_t len = keyPath.size();
    while (len > 0 && !keys_.contains(std::string_view(folded).substr(0, len))) {
        missing.push_back(len);
        const std::size_t cut = keyPath.substr(0, len).rfind('\\');
        len = cut == std::string_view::npos ? 0 : cut;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it)
        keys_.emplace(folded.substr(0, *it), Key{std::string(keyPath.substr(0, *it)), {}});
}

void RegTree::SetValue(std::string_view keyPath, RegValue value) {
    CreateKey(keyPath);
    auto& values = keys_.at(Fold(keyPath)).values;
    for (auto& v : values) {
        if (SameName(v.name, value.name)) {
            value.name = v.name;  // the first spelling stays
            v = std::move(value);
            return;
        }
    }
    values.push_back(std::move(value));
}

bool RegTree::DeleteValue(std::string_view keyPath, std::string_view valueName) {
    const auto it = keys_.find(Fold(keyPath));
    if (it == keys_.end()) return false;
    auto& values = it->second.values;
    for (auto v = values.begin(); v != values.end(); ++v) {
        if (SameName(v->name, valueName)) {
            values.erase(v);
            return true;
        }
    }
    return false;
}

bool RegTree::DeleteKey(std::string_view keyPath) {
    const std::string folded = Fold(keyPath);
    const auto it = keys_.find(folded);
    if (it == keys_.end() || Parent(keyPath).empty()) return false;  // a hive stays
    const auto next = std::next(it);
    if (next != keys_.end() && next->first.starts_with(folded + '\x01')) return false;
    keys_.erase(it);
    return true;
}

std::vector<std::string> RegTree::KeyPaths() const {
    std::vector<std::string> paths;
    for (const auto& [folded, key] : keys_) paths.push_back(key.path);
    return paths;
}

std::string RegTree::Serialize() const {
    std::string out = std::string(kHeader) + "\n";
    for (const auto& [folded, key] : keys_) {
        out += "\n[" + key.path + "]\n";
        for (const auto& v : key.values) {
            out += v.name.empty() ? "@" : QuoteRegString(v.name);
            if (v.dword) {
                char buf[16];
                std::snprintf(buf, sizeof buf, "dword:%08x", v.number);
                out += std::string("=") + buf + "\n";
            } else {
                out += "=" + QuoteRegString(v.text) + "\n";
            }
        }
    }
    return out;
}

bool MergeScript(std::string_view text, RegTree& tree, bool strict) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    bool headerSeen = false;
    std::optional<std::string> key;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.empty() || line.starts_with(';')) continue;
        if (!headerSeen) {
            if (line != kHeader && line != "REGEDIT4") return false;
            headerSeen = true;
            continue;
        }
        if (line.starts_with('[')) {
            key = line.ends_with(']') ? NormalKey(line.substr(1, line.size() - 2)) : std::nullopt;
            if (key)
                tree.CreateKey(*key);
            else if (strict)
                return false;
            continue;
        }
        auto value = key ? ParseValueLine(line) : std::nullopt;
        if (value)
            tree.SetValue(*key, std::move(*value));
        else if (strict)
            return false;
    }
    return headerSeen;
}

// ---- FileRegistry ----

FileRegistry::FileRegistry(std::string storePath) : path_(std::move(storePath)) {}

std::string FileRegistry::TakeNotice() { return std::exchange(notice_, {}); }

void FileRegistry::Notify(const std::string& text) {
    if (onNotice)
        onNotice(text);
    else
        notice_ = text;
}

FileRegistry::Load FileRegistry::LoadTree(RegTree& tree) {
    int error = 0;
    const auto bytes = ReadWholeFile(path_, error);
    if (!bytes) return error == ENOENT ? Load::Ok : Load::Unavailable;
    // A file of nothing but blanks and line ends holds nothing that could be lost.
    if (bytes->find_first_not_of(" \t\r\n") == std::string::npos || MergeScript(*bytes, tree, true))
        return Load::Ok;
    tree = RegTree{};
    // Never overwrite what we cannot read: keep it aside under a free name.
    const std::string base = path_ + ".kapot-" + Timestamp();
    std::string aside = base;
    for (int n = 2; ::access(aside.c_str(), F_OK) == 0; ++n) aside = base + "-" + std::to_string(n);
    if (::rename(path_.c_str(), aside.c_str()) != 0) {
        if (!toldUnavailable_) {
            toldUnavailable_ = true;
            Notify("Het registerbestand van Kolvik is beschadigd en kon niet opzij worden gezet: " +
                   path_ + ". Het blijft ongewijzigd.");
        }
        return Load::Unavailable;
    }
    Notify("Het registerbestand van Kolvik was beschadigd. Het is bewaard als " + aside +
           "; er is een nieuw begonnen.");
    return Load::Ok;
}

bool FileRegistry::SaveTree(const RegTree& tree) {
    return posix::WriteFileAtomically(path_, tree.Serialize(), 0600) == FileError::None;
}

std::optional<std::string> FileRegistry::RegRead(const std::string& name) {
    const auto split = SplitName(name);
    if (!split) return std::nullopt;
    FolderLock lock(FolderOf(path_));
    RegTree tree;
    if (LoadTree(tree) != Load::Ok) return std::nullopt;
    const RegValue* v = tree.Find(split->first, split->second);
    if (!v) return std::nullopt;
    return v->dword ? std::to_string(v->number) : v->text;
}

bool FileRegistry::RegWrite(const std::string& name, const std::string& value) {
    const auto split = SplitName(name);
    // The script format has no way to write these characters.
    if (!split || name.find_first_of(std::string("\r\n\0", 3)) != std::string::npos ||
        value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        return false;
    }
    if (!MakeFolders(FolderOf(path_))) return false;
    FolderLock lock(FolderOf(path_));
    RegTree tree;
    if (LoadTree(tree) != Load::Ok) return false;
    tree.SetValue(split->first, RegValue{split->second, false, value, 0});
    return SaveTree(tree);
}

bool FileRegistry::RegDelete(const std::string& name) {
    const auto split = SplitName(name);
    if (!split) return false;
    FolderLock lock(FolderOf(path_));
    RegTree tree;
    if (LoadTree(tree) != Load::Ok) return false;
    const bool done = name.ends_with('\\') ? tree.DeleteKey(split->first)
                                           : tree.DeleteValue(split->first, split->second);
    return done && SaveTree(tree);
}

bool FileRegistry::Readable() {
    FolderLock lock(FolderOf(path_));
    RegTree tree;
    return LoadTree(tree) == Load::Ok;
}

bool FileRegistry::Import(const std::string& scriptPath) {
    int error = 0;
    const auto bytes = ReadWholeFile(scriptPath, error);
    if (!bytes) return false;
    if (!MakeFolders(FolderOf(path_))) return false;
    FolderLock lock(FolderOf(path_));
    RegTree tree;
    if (LoadTree(tree) != Load::Ok) return false;
    return MergeScript(AnsiToUtf8(*bytes), tree, false) && SaveTree(tree);
}

std::string DefaultRegistryPath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (config && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* pw = ::getpwuid(::getuid());
            home = pw ? pw->pw_dir : "";
        }
        base = std::string(home) + "/.config";
    }
    return base + "/kolvik/registry.reg";
}

}  // namespace kolvik
