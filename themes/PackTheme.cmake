# Packs one theme folder into an archive: every file under THEME_DIR, stored under its path
# relative to the folder, added one by one with ZIP_TOOL's "a" command. The archive is built
# beside its final name and renamed at the end, so a failed run leaves no half-made theme.
cmake_minimum_required(VERSION 3.25)
foreach(var ZIP_TOOL THEME_DIR ARCHIVE)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "PackTheme.cmake needs -D${var}=...")
    endif()
endforeach()

get_filename_component(folder ${ARCHIVE} DIRECTORY)
file(MAKE_DIRECTORY ${folder})
set(partial ${ARCHIVE}.part)
file(REMOVE ${partial})
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${THEME_DIR} ${THEME_DIR}/*)
list(SORT files)
foreach(entry IN LISTS files)
    execute_process(COMMAND ${ZIP_TOOL} a ${partial} ${entry} ${THEME_DIR}/${entry}
                    RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        file(REMOVE ${partial})
        message(FATAL_ERROR "cannot add ${entry} to ${ARCHIVE}")
    endif()
endforeach()
file(RENAME ${partial} ${ARCHIVE})
