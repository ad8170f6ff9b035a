# Puts the texts of the language files into the sample's stored project:
# each @LANG_<Name>@ of the template becomes that language's Strings, read
# from lang/qnfi<Name>.txt (UTF-8). Called at build time:
#   cmake -DTEMPLATE=... -DLANG_DIR=... -DOUTPUT=... -P GenerateLayout.cmake
# Whole texts only: a CMake list would split the lines at their ";".
file(READ ${TEMPLATE} layout)
foreach(name English German Russian)
    file(READ ${LANG_DIR}/qnfi${name}.txt text)
    string(REPLACE "\r" "" text "${text}")
    string(REGEX REPLACE "\n+$" "" text "${text}")
    string(REPLACE "'" "''" text "${text}")
    string(REPLACE "\n" "'\n      '" text "${text}")
    string(REPLACE "@LANG_${name}@" "lg${name}.Strings.Strings = (\n      '${text}')" layout "${layout}")
endforeach()
file(WRITE ${OUTPUT} "${layout}")
