// Picture files the tool writes. Every output format is one entry of the table in Outputs.cpp,
// chosen by the output name's extension.
#pragma once

#include "formats/IconImage.h"

#include <string>
#include <vector>

namespace glyptor::tools {

struct OutputOptions {
    int depth = 0; // bits per pixel asked for with --depth; 0 when not given
};

// Writes the icon to `path` in the format its extension names. Returns an empty string on
// success, else the reason it failed.
std::string WriteIconFile(const IconImage& icon, const std::string& path,
                          const OutputOptions& options);

// The extensions WriteIconFile understands, for help and error texts.
std::vector<std::string> OutputExtensions();

} // namespace glyptor::tools
