# Writes OUTPUT, a C++ source holding the bytes of INPUT as kEmbeddedStub.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){24})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUTPUT}.tmp
     "#include \"builder/embedded_stub.h\"\n"
     "const unsigned char kEmbeddedStub[] = {\n${bytes}\n};\n"
     "const size_t kEmbeddedStubSize = ${size};\n")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
