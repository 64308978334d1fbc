// SPDX-License-Identifier: Apache-2.0
#pragma once
// What every engine object gets from the root that made it.

#include <memory>

#include "engine/Engine.h"
#include "engine/core/Progress.h"

namespace engine::detail {

struct EngineContext {
    std::weak_ptr<ProgressHub> hub;  // expires with the root
    EngineOptions options;
};

}  // namespace engine::detail
