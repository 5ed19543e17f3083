// The save of an icon file: encode first, then replace the file whole, and turn whatever failed
// into the one message the user sees.
#include "export/IconSave.h"

#include "platform/dib/OutputFile.h"

#include <exception>
#include <new>

namespace glyptor::iconfile {

IconSaveResult SaveIconToFile(const std::string& fileName, const IconImage& icon,
                              std::uint8_t depthCode) {
    std::string message;
    try {
        // The whole file is encoded before anything on disk is touched, so an icon that cannot
        // be saved (a monochrome one) costs the user nothing.
        dib::ReplaceFileContents(fileName,
                                 EncodeIconFile(icon, ColourCountForDepthCode(depthCode)));
        return {};
    } catch (const std::bad_alloc&) {
        message = "Out of memory";
    } catch (const std::exception& failure) {
        message = failure.what();
    }
    return IconSaveResult{"File save error: " + message};
}

IconSaveResult IconWriter::SaveIconToFile(const std::string& fileName, const IconImage& icon,
                                          std::uint8_t depthCode) {
    chosenColourCount_ = ColourCountForDepthCode(depthCode);
    return iconfile::SaveIconToFile(fileName, icon, depthCode);
}

void IconWriter::WriteIconStream(std::ostream& stream, const IconImage& icon) const {
    iconfile::WriteIconStream(stream, icon, chosenColourCount_);
}

bool DeleteMatchingFiles(const std::string& fileName) {
    return dib::RemoveExactFile(fileName);
}

} // namespace glyptor::iconfile
