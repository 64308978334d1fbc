// SPDX-License-Identifier: Apache-2.0
#pragma once
// The frame every streamed call from one file into another shares (internal
// to the engine).

#include <cstdint>
#include <string>

#include "engine/core/Context.h"
#include "engine/core/Errors.h"
#include "engine/core/Progress.h"
#include "engine/io/Files.h"

namespace engine::detail {

// Runs `work(input, output, progress)` from a source file into a new target,
// with progress over the source's size. The target is committed only after
// the source has proved unchanged and the last report; failures name the source.
template <class Work>
void fileToFile(const EngineContext& context, int32_t hashCode, const std::string& sourcePath,
                const std::string& targetPath, Work&& work) {
    try {
        InputFile input(sourcePath);
        AtomicOutputFile output(targetPath, 0666, &input);
        Progress progress(context.hub, hashCode, input.size());
        progress.begin();
        work(input, output, progress);
        input.checkUnchanged();
        progress.finish();
        output.commit();
    } catch (...) {
        rethrowNamingFile(sourcePath);
    }
}

}  // namespace engine::detail
