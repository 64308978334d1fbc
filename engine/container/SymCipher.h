// SPDX-License-Identifier: Apache-2.0
#pragma once
// The password cipher behind EngineSymCipher, as the root makes it.

#include <memory>

#include "engine/Engine.h"
#include "engine/core/Context.h"

namespace engine::detail {

// Throws EngineError(InvalidInput) for a code out of range.
std::shared_ptr<EngineSymCipher> NewSymCipherObject(const EngineContext& context, SymAlgorithm algorithm,
                                                    const Text& password, int32_t keyBits);

}  // namespace engine::detail
