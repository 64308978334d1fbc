// SPDX-License-Identifier: Apache-2.0
#pragma once
// RSA key pairs and key files: the root's NewKeyPair and LoadKey.

#include <memory>

#include "engine/Engine.h"
#include "engine/core/Context.h"

namespace engine::detail {

// Each throws EngineError(InvalidInput) for a code out of range.
std::shared_ptr<EngineAsymKey> NewRsaKeyPair(const EngineContext& context, KeyKind keyKind, int32_t keyBits,
                                             const Text& seed, EncryptionSchema schema,
                                             std::shared_ptr<EngineAsymKey>& publicKey);

std::shared_ptr<EngineAsymKey> LoadRsaKey(const EngineContext& context, const Text& fileName, KeyKind keyKind,
                                          EncryptionSchema schema);

}  // namespace engine::detail
