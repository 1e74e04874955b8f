# Copies a text file with Windows line breaks, CR LF, for the zip:
#   cmake -DIN=FILE -DOUT=FILE -P crlf.cmake
# Line breaks that are CR LF already stay as they are.
file(READ "${IN}" text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUT}" "${text}")
