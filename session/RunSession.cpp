// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/RunSession.h"

#include <filesystem>

#include "engine/Ansi.h"
#include "engine/NameRules.h"
#include "engine/PathHelpers.h"
#include "engine/TransportCode.h"
#include "engine/Wipe.h"
#include "platform/SafeFile.h"
#include "session/InstalledFolders.h"
#include "session/Registration.h"
#include "session/SecretText.h"
#include "shellfiles/RegistryKeys.h"

namespace kolvik {
namespace {

// The path as the system resolves it, links followed where they stand: "L/../data", with L a
// link to p/src, is p/data, as "ls L/../data" shows, never ./data as a reading of the text
// would make it.
std::filesystem::path Resolved(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::path resolved = std::filesystem::canonical(path, ec);
    // Lost between the look and now: the run opens the path as given and fails there.
    if (ec) resolved = std::filesystem::absolute(path, ec);
    return resolved;
}

}  // namespace

RunSession::RunSession(RunEvents& events, Clock& clock, Registry& registry,
                       const ProcessFacts& process)
    : events_(events),
      relay_(events),
      clock_(clock),
      registry_(registry),
      process_(process),
      files_(stats_, flags_, report_, relay_),
      walk_(files_, stats_, flags_, report_, relay_) {}

RunSession::~RunSession() {
    files_.CompletePending();
    WipeText(cipherKey_);
    WipeText(files_.settings.key);
}

TargetRefusal RunSession::TakeTarget(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_type type = fs::status(FsPath(path), ec).type();
    if (type == fs::file_type::not_found) return TargetRefusal::NotFound;
    // A folder on the way may not be searched.
    if (ec) return TargetRefusal::NoAccess;
    if (type == fs::file_type::directory) {
        targetFolder_ = Utf8Path(Resolved(FsPath(path)));
        hasFolderTarget_ = true;
        return TargetRefusal::None;
    }
    if (type != fs::file_type::regular) return TargetRefusal::NotFileOrFolder;
    const std::string name = Utf8Path(FsPath(path).filename());
    if (!EndsWithAnyCase(name, ".kol") && GetExtension(name).empty())
        return TargetRefusal::NoExtension;
    // The folder is resolved, the file's own name kept: a file that is a link is judged as one
    // by the run, not swapped for what it points at.
    const fs::path given = FsPath(path);
    const fs::path parent = given.has_parent_path() ? given.parent_path() : fs::path(".");
    targetFile_ = Utf8Path(Resolved(parent) / given.filename());
    hasFileTarget_ = true;
    return TargetRefusal::None;
}

bool RunSession::ModeAllowed(RunMode mode) const {
    if (!hasFileTarget_) return true;
    const bool encrypted = EndsWithAnyCase(Utf8Path(FsPath(targetFile_).filename()), ".kol");
    return encrypted == (mode == RunMode::Decrypt);
}

bool RunSession::TargetFileThere() const {
    std::error_code ec;
    return std::filesystem::symlink_status(FsPath(targetFile_), ec).type() !=
           std::filesystem::file_type::not_found;
}

void RunSession::ProtectInput(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path file = fs::canonical(FsPath(path), ec);
    safefile::Folder folder;
    safefile::FileFacts facts;
    if (ec || folder.Open(Utf8Path(file.parent_path())) != safefile::Fault::None ||
        folder.Stat(Utf8Path(file.filename()), facts) != safefile::Fault::None ||
        facts.inode == 0)  // nothing known to match against: a file described without its id
        return;
    runInputs_.emplace_back(facts.device, facts.inode);
}

std::string RunSession::RunFolder() const {
    return hasFolderTarget_ ? targetFolder_ : process_.programFolder;
}

namespace {

ModeRefusal RefusalOf(RunMode mode, const std::string& password, const std::string& confirmation,
                      bool strong) {
    if (password != confirmation) return ModeRefusal::Unequal;
    // Any password opens files: those made with one outside Windows-1252 must still open.
    if (mode == RunMode::Decrypt) return ModeRefusal::None;
    if (password.empty()) return ModeRefusal::Empty;
    // The cipher takes the key as Windows-1252 bytes: a character outside that code page would
    // become "?", and passwords that differ only there would give the same key. The strong
    // format takes the password as UTF-8.
    if (!strong && !ToAnsiExact(password)) return ModeRefusal::NotStorable;
    return ModeRefusal::None;
}

}  // namespace

ModeRefusal RunSession::ChooseMode(RunMode mode, const std::string& password,
                                   const std::string& confirmation, bool strong) {
    modeTime_ = clock_.Now();
    const ModeRefusal refusal = RefusalOf(mode, password, confirmation, strong);
    report_.passwordRefused = refusal != ModeRefusal::None;
    if (report_.passwordRefused) return refusal;
    ReplaceText(cipherKey_, password);
    decryptMode_ = mode == RunMode::Decrypt;
    if (!decryptMode_) strongChosen_ = strong;
    return refusal;
}

bool RunSession::WouldTouchInstalledPrograms() const {
    return !hasFolderTarget_ && !hasFileTarget_ &&
           HoldsInstalledPrograms(process_.programFolder, process_.environment);
}

PinCheck RunSession::CheckPin(const std::string& password) {
    ReadRegistrationNow(CurrentProgId());
    if (ParseYesNo(regContextMenu_) != YesNo::Yes) return PinCheck::NotAsked;
    if (regChecksum_.empty()) return PinCheck::FirstRun;
    if (PinCode(password) == regChecksum_) return PinCheck::Matches;
    report_.pinRefused = true;
    return PinCheck::Refused;
}

PinCheck RunSession::StorePin(const std::string& password) {
    // The front end showed the PIN notice since the check: time for another Kolvik to act.
    const PinCheck now = CheckPin(password);
    if (now != PinCheck::FirstRun) return now;
    // The code stays as read: the next check reads the store again.
    registry_.RegWrite(DefaultValueName(RegistryKeys(CurrentProgId()).checksum), PinCode(password));
    return PinCheck::Matches;
}

namespace {

// Marks the stored form of a PIN with a character Windows-1252 cannot hold. The code page's
// form would turn every such character into "?", so that any three Cyrillic letters and "???"
// passed as one PIN. That form holds only hexadecimal digits (two of "0123456789ABCDEF" per
// byte), so a code that starts with "U" never equals one. After the marker comes the transport
// code of the UTF-8 bytes: different characters give different bytes, and an exclusive-or with
// one fixed keystream, byte for byte, keeps different bytes different.
constexpr std::string_view kUtf8PinMarker = "U";

// The first three characters of a password in UTF-8 (fewer when it is shorter), and how many.
std::string PinCharacters(const std::string& password, std::size_t& count) {
    // Three characters take at most twelve bytes: the rest of the password is never decoded.
    std::u32string chars = DecodeUtf8(std::string_view(password).substr(0, 12));
    if (chars.size() > 3) chars.resize(3);
    count = chars.size();
    std::string pin = EncodeUtf8(chars);
    WipeText(chars);
    return pin;
}

}  // namespace

// The scratch file these codes were once computed through stood in the way of the events for
// a moment per character; a front end may still act in those moments.
std::string RunSession::PinCode(const std::string& password) const {
    std::size_t count = 0;
    std::string pin = PinCharacters(password, count);
    const WipedAtExit wipePin(pin);
    for (std::size_t k = 0; k < count; ++k) events_.Yield();
    std::optional<std::string> ansi = ToAnsiExact(pin);
    if (!ansi) return std::string(kUtf8PinMarker) + TransportCode(pin, kTransportKey);
    std::string code = TransportCode(*ansi, kTransportKey);
    WipeText(*ansi);
    return code;
}

void RunSession::ReadRegistration(const std::string& progId) {
    const RegistrationState state = ReadRegistrationState(registry_, progId);
    if (state.contextMenu) regContextMenu_ = *state.contextMenu;
    if (state.kolExtension) regKolExtension_ = *state.kolExtension;
    if (state.checksum) regChecksum_ = *state.checksum;
    kolRegisterd_ = state.kolRegistered;
}

void RunSession::ReadRegistrationNow(const std::string& progId) {
    if (!registry_.Readable()) return;
    const RegistrationState state = ReadRegistrationState(registry_, progId);
    regContextMenu_ = state.contextMenu.value_or("");
    regKolExtension_ = state.kolExtension.value_or("");
    regChecksum_ = state.checksum.value_or("");
    kolRegisterd_ = state.kolRegistered;
}

void RunSession::ChooseRegistration(const std::string& kolExtension,
                                    const std::string& contextMenu) {
    regKolExtension_ = kolExtension;
    regContextMenu_ = contextMenu;
}

void RunSession::PrepareFiles() {
    ReplaceText(files_.settings.key, cipherKey_);
    files_.settings.modeTime = modeTime_;
    files_.settings.singleFile = hasFileTarget_;
    files_.settings.exeName = process_.exeName;
    files_.settings.programFolder = process_.programFolder;
    files_.settings.logFolder = process_.dataFolder;
    files_.settings.strong = strongChosen_;
    files_.settings.strongCost = StrongCost;
    files_.settings.runInputs = runInputs_;
    walk_.decrypting = decryptMode_;
}

FileOutcome RunSession::EncryptOne(const std::string& folder, const std::string& name) {
    PrepareFiles();
    return files_.Encrypt(folder, name);
}

FileOutcome RunSession::DecryptOne(const std::string& folder, const std::string& name) {
    PrepareFiles();
    return files_.Decrypt(folder, name);
}

void RunSession::TransformTargetFiles(const std::string& target) {
    PrepareFiles();
    walk_.ProcessTarget(target);
}

void RunSession::TransformSubfolders(const std::string& folder) {
    PrepareFiles();
    walk_.WalkFolder(folder);
}

void RunSession::CompletePending() { files_.CompletePending(); }

void RunSession::ReleaseFiles() { files_.Release(); }

void RunSession::EndRun() { files_.EndRun(); }

}  // namespace kolvik
