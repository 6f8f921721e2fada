#pragma once

// The LibTorch backend is a module of its own, opened the first time a model is loaded or
// compiled. LibTorch brings OpenCV and, through it, Qt 5 along: none of that belongs in this
// Qt 6 app while it runs on its built-in rules.
//
// Private to platform/model: the module and the side that opens it agree on these names.

#include <filesystem>
#include <memory>
#include <vector>

#include "platform/model/ModelRuntime.h"

namespace ovra::modelmodule {

// The module's file, installed as <prefix>/lib/murmlark-ovra/ovra-torch-runtime.so.
inline constexpr const char* kFileName = "ovra-torch-runtime.so";

// The one symbol the module exports: it makes the backend. Versioned, so that a module of an
// incompatible build is refused instead of called.
inline constexpr const char* kEntryPoint = "ovra_make_torch_model_runtime_v1";
using EntryPoint = void (*)(std::unique_ptr<ModelRuntime>& runtime);

// A runtime that opens the first existing file of `candidates` as the module on first use. When
// none exists, or the file does not open or is no such module, that load or compile throws
// ModelError; the next one tries again.
std::unique_ptr<ModelRuntime> openOnFirstUse(std::vector<std::filesystem::path> candidates);

}  // namespace ovra::modelmodule
