# Writes a C++ source holding the bytes of INPUT, returned by the function FUNCTION in namespace tarnel.
#   cmake -DINPUT=... -DOUTPUT=... -DFUNCTION=... -P EmbedFile.cmake
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${INPUT}; do not edit.
#include <QByteArrayView>

namespace tarnel {
namespace {
const unsigned char kBytes[] = {
    ${bytes}
};
}  // namespace

QByteArrayView ${FUNCTION}() {
  return QByteArrayView(reinterpret_cast<const char*>(kBytes), sizeof(kBytes));
}

}  // namespace tarnel
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
