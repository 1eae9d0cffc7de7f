#include "engine/Transform.h"

#include "engine/FileFormat.h"

namespace kolvik {
namespace {

void ReportProgress(const StreamHooks& hooks, std::int64_t firstPass, std::int64_t lastPass,
                    std::int64_t positionOfPassZero) {
    if (!hooks.progress) return;
    for (std::int64_t j = NextProgressPass(firstPass, lastPass); j != 0;
         j = NextProgressPass(j + 1, lastPass)) {
        hooks.progress(j + positionOfPassZero);
    }
}

}  // namespace

StreamEnd StreamData(safefile::Source& source, const BlockSink& sink, const Keystream& keystream,
                     int extLength, bool encrypting, std::vector<std::uint8_t>& buffer,
                     const StreamHooks& hooks, safefile::Fault& fault) {
    using safefile::Fault;
    // One spare byte: decryption holds the last byte read back until it knows more follow.
    if (buffer.size() < kStreamBlock + 1) buffer.resize(kStreamBlock + 1);
    const std::int64_t firstPosition = extLength + 10;
    // Encryption reports positions in the encrypted file, decryption in the plain file.
    const std::int64_t passOffset = encrypting ? extLength + 9 : 0;
    std::int64_t passes = 0;
    std::size_t held = 0;  // decryption: a byte carried over from the previous block
    for (;;) {
        if (!hooks.proceed()) return StreamEnd::Stopped;
        std::size_t got = 0;
        if ((fault = source.Read(buffer.data() + held, kStreamBlock, got)) != Fault::None) {
            return StreamEnd::Failed;
        }
        const std::size_t available = held + got;
        // Decrypting, the newest byte might be the trailing one: keep it back.
        const std::size_t data = encrypting ? available : (got == 0 ? 0 : available - 1);
        if (data > 0) {
            keystream.Apply(buffer.data(), data, firstPosition + passes);
            if ((fault = sink(buffer.data(), data)) != Fault::None) return StreamEnd::Failed;
            ReportProgress(hooks, passes + 1, passes + static_cast<std::int64_t>(data), passOffset);
            passes += static_cast<std::int64_t>(data);
        }
        if (!encrypting) {
            if (got == 0) return StreamEnd::Done;  // what is held is the trailing byte
            buffer[0] = buffer[available - 1];
            held = 1;
            continue;
        }
        if (got < kStreamBlock) break;
    }
    // The byte loop's last pass reads past the end and writes one more byte.
    if (!hooks.proceed()) return StreamEnd::Stopped;
    std::uint8_t trailing = 0;
    keystream.Apply(&trailing, 1, firstPosition + passes);
    if ((fault = sink(&trailing, 1)) != Fault::None) return StreamEnd::Failed;
    ReportProgress(hooks, passes + 1, passes + 1, passOffset);
    return StreamEnd::Done;
}

}  // namespace kolvik
