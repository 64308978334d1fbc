// SPDX-License-Identifier: Apache-2.0
#pragma once
// The encoder object behind EngineEncoder, as the root makes it.

#include <memory>

#include "engine/Engine.h"
#include "engine/core/Context.h"

namespace engine::detail {

// Throws EngineError(InvalidInput) for a code out of range.
std::shared_ptr<EngineEncoder> NewEncoderObject(const EngineContext& context, OutputEncoding encoding);

}  // namespace engine::detail
