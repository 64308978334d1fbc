// SPDX-License-Identifier: Apache-2.0
#pragma once
// The per-kind engine objects the root hands out (RSA keys: see Rsa.h).

#include <functional>
#include <memory>

#include "engine/Context.h"
#include "engine/Engine.h"

namespace engine::detail {

// Each throws EngineError(InvalidInput) for a code out of range.
std::shared_ptr<EngineHash> NewHashObject(const EngineContext& context, HashAlgorithm algorithm);
std::shared_ptr<EngineSymCipher> NewSymCipherObject(const EngineContext& context, SymAlgorithm algorithm,
                                                    const Text& password, int32_t keyBits);
std::shared_ptr<EngineEncoder> NewEncoderObject(const EngineContext& context, OutputEncoding encoding);

// Known-answer tests of the libraries, run for every root; throws
// EngineError(Internal) describing the first failure.
void RunSelfTest();

// The root behind CreateEngineRoot, with the self-test it runs before it
// hands out its first object (RunSelfTest there; tests put in their own).
std::shared_ptr<EngineRoot> NewRoot(const EngineOptions& options, std::function<void()> selfTest);

}  // namespace engine::detail
