// The rules of the save dialog that need no window: the file-type list, the suggested name, the
// depth each icon type stands for, and the file kind a typed name asks for.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace glyptor {

// The dialog's file types as description|pattern pairs; types are numbered from 1. Type 6, the
// 32-bit icon, comes after the five older ones so that their numbers keep their meaning.
QString SaveFileTypes();

// The descriptions of a description|pattern list, in order.
QStringList TypeDescriptions(const QString& typeList);

// Qt name filters for the list: "description (pattern)". A dialog that hides filter details
// shows exactly the descriptions.
QStringList NameFiltersFromTypeList(const QString& typeList);

// The dialog type (from 1) of a filter as Qt's dialog reports it: the whole filter or, when
// details are hidden, the description alone. 0 for none.
int TypeOfNameFilter(const QString& typeList, const QString& filter);

// The extension a name without one gets at a type: the type's pattern's ("*.bmp" -> "bmp"),
// else `fallback`.
QString DefaultSuffixForType(const QString& typeList, int type, const QString& fallback);

// FileName + "_" + index, every "." replaced by "_": shell32.dll 3 -> shell32_dll_3.
QString SuggestedSaveName(const QString& fileName, int iconIndex);

// The depth code the icon writer takes for dialog types 1 to 4 (1, 2, 4, 5); nothing for the
// picture type and anything else, which keep the depth chosen before.
std::optional<std::uint8_t> DepthCodeForSaveType(int type);

// The extension of the name's last component from its last dot, lower-cased (".ico"); empty
// without a dot. Dots in folder names (after a "/" or a "\") never count.
QString LowerExtension(const QString& path);

enum class SaveKind { Nothing, Icon, Picture };

// The kind of file a chosen name asks for: the extension decides, not the dialog type.
SaveKind SaveKindForName(const QString& path);

} // namespace glyptor
