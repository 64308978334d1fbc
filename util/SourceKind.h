// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstdint>

// What a source box holds: the data itself, or the path of a file.
enum class SourceKind { Text, File };

// The wrappers' source-kind code: 0 is Text, any other value File.
inline SourceKind SourceKindOf(int16_t code) { return code == 0 ? SourceKind::Text : SourceKind::File; }
