// SPDX-License-Identifier: Apache-2.0
// Whole-file helpers of the engine's face, over the io room's files.
#include <string>

#include "engine/Engine.h"
#include "engine/core/Errors.h"
#include "engine/io/Files.h"

namespace engine {

Text NameBeside(const Text& path, const Text& suffix) {
    // Four characters, not bytes: names may hold UTF-8. A shorter path gets the suffix in front.
    std::string::size_type cut = path.size();
    for (int characters = 0; characters < 4 && cut > 0; ++characters) {
        --cut;
        while (cut > 0 && (static_cast<unsigned char>(path[cut]) & 0xC0) == 0x80) --cut;
    }
    // Never in front of a folder separator: the output stays in the source's folder.
    const std::string::size_type slash = path.find_last_of('/');
    if (slash != std::string::npos && cut <= slash) cut = slash + 1;
    return path.substr(0, cut) + suffix + path.substr(cut);
}

uint64_t FileSize(const Text& path) {
    try {
        return detail::InputFile(path).size();
    } catch (...) {
        detail::rethrowNamingFile(path);
    }
}

Text ReadWholeFile(const Text& path, uint64_t limit) {
    try {
        detail::InputFile file(path);
        if (file.size() > limit)
            throw EngineError(ErrorKind::TooLarge, "The file " + QuotedName(path) + " is larger than " +
                                                       std::to_string(limit) + " bytes.");
        Text data(static_cast<size_t>(file.size()), '\0');
        size_t got = 0;
        while (got < data.size()) {
            const size_t n = file.read(reinterpret_cast<uint8_t*>(&data[got]), data.size() - got);
            if (n == 0) break;
            got += n;
        }
        data.resize(got);
        file.checkUnchanged();
        return data;
    } catch (...) {
        detail::rethrowNamingFile(path);
    }
}

void WriteWholeFile(const Text& path, const Text& data) {
    try {
        detail::AtomicOutputFile output(path);
        output.write(data);
        output.commit();
    } catch (...) {
        detail::rethrowAsEngineError("Writing " + QuotedName(path) + " failed");
    }
}

}  // namespace engine
