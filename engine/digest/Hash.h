// SPDX-License-Identifier: Apache-2.0
#pragma once
// The hash object behind EngineHash, as the root makes it.

#include <memory>

#include "engine/Engine.h"
#include "engine/core/Context.h"

namespace engine::detail {

// Throws EngineError(InvalidInput) for a code out of range.
std::shared_ptr<EngineHash> NewHashObject(const EngineContext& context, HashAlgorithm algorithm);

}  // namespace engine::detail
