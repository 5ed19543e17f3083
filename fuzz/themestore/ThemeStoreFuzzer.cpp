// Theme files as they come from the internet, through the whole store: open, layout values of
// every kind, and every picture key the skin asks for. Any failure must be an exception with a
// message, never a crash, a hang or unbounded memory.
#include "theme/gy3Store.h"

#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <unistd.h>

namespace {

const std::string& ThemePath() {
    static const std::string path =
        "/tmp/glyptor-themestore-fuzz-" + std::to_string(::getpid()) + ".zip";
    return path;
}

void ReadEverything(glyptor::Tgy3Store& store) {
    using namespace glyptor;
    for (TValueKind kind : {vkInteger, vkDate, vkString, 9}) {
        for (const char* key : {"color", "size", "name", "date"}) {
            TLayoutValue value;
            try {
                store.ReadValue("panel", key, value, kind);
            } catch (const EConvertError&) {
            }
        }
    }
    for (const char* key : {"gy_title1", "gy_tool1", "gy_logo", "gy3layout", ""}) {
        QImage picture;
        try {
            store.ReadPicture(key, picture);
        } catch (const std::exception&) {
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FILE* file = std::fopen(ThemePath().c_str(), "wb");
    if (!file)
        return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    glyptor::Tgy3Store store;
    try {
        store.SetThemeFile(ThemePath());
    } catch (const std::exception&) {
    }
    ReadEverything(store);
    std::remove(ThemePath().c_str());
    return 0;
}
