# cmake -DIN=a.po -DOUT=b.po -P StripContexts.cmake
# Drops the msgctxt lines (Qt's class names) and the header line announcing them.
file(READ "${IN}" text)
string(REGEX REPLACE "(^|\n)msgctxt [^\n]*" "" text "${text}")
string(REGEX REPLACE "\n\"X-Qt-Contexts: [^\n]*" "" text "${text}")
file(WRITE "${OUT}" "${text}")
