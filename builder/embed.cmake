# Writes OUTPUT, a C++ source holding the bytes of the stubs X86 and X64 as
# kEmbeddedStubX86 and kEmbeddedStubX64. A stub that is not there is left
# empty (the builder then asks for --stub). OUTPUT is rewritten only when
# its content changes, so an unchanged stub compiles nothing.
function(embed_stub arch path out)
  if(NOT path OR NOT EXISTS "${path}")
    message(WARNING "veltpack: no ${arch} stub at '${path}'; this builder will need --stub "
                    "for ${arch} installers. Build that stub and then the builder again.")
    set(${out} "const unsigned char kEmbeddedStub${arch}[1] = {0};
const size_t kEmbeddedStub${arch}Size = 0;\n" PARENT_SCOPE)
    return()
  endif()
  file(READ "${path}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){24})" "\\1\n" bytes "${bytes}")
  set(${out} "const unsigned char kEmbeddedStub${arch}[] = {\n${bytes}\n};
const size_t kEmbeddedStub${arch}Size = ${size};\n" PARENT_SCOPE)
endfunction()

embed_stub(X86 "${X86}" x86)
embed_stub(X64 "${X64}" x64)
file(WRITE ${OUTPUT}.tmp "#include \"builder/embedded_stub.h\"\n${x86}${x64}")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
