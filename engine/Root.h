// SPDX-License-Identifier: Apache-2.0
#pragma once
// The root behind CreateEngineRoot; the objects it hands out are made in
// their own folders (digest/Hash.h, container/SymCipher.h, rsa/Rsa.h,
// codec/Encoder.h).

#include <functional>
#include <memory>

#include "engine/Engine.h"

namespace engine::detail {

// Known-answer tests of the libraries, run for every root; throws
// EngineError(Internal) describing the first failure.
void RunSelfTest();

// The root behind CreateEngineRoot, with the self-test it runs before it
// hands out its first object (RunSelfTest there; tests put in their own).
std::shared_ptr<EngineRoot> NewRoot(const EngineOptions& options, std::function<void()> selfTest);

}  // namespace engine::detail
