#pragma once
// RSA key pairs and key files: the root's NewKeyPair and LoadKey.

#include <memory>

#include "engine/Context.h"
#include "engine/Engine.h"

namespace engine::detail {

std::shared_ptr<EngineAsymKey> NewRsaKeyPair(const EngineContext& context, int32_t keyKind, int32_t keyBits,
                                             const Text& seed, int32_t schema,
                                             std::shared_ptr<EngineAsymKey>& publicKey);

std::shared_ptr<EngineAsymKey> LoadRsaKey(const EngineContext& context, const Text& fileName, int32_t keyKind,
                                          int32_t schema);

}  // namespace engine::detail
