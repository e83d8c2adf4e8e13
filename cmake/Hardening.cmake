# The hardening Debian's own builds get from dpkg-buildflags: the stack
# protector, read-only relocations bound at start (lintian: bindnow), and
# fortified libc calls wherever the compiler can check the sizes
# (only in the optimised build types: without -O glibc warns about
# _FORTIFY_SOURCE). Sanitizer builds go without: they check the same places
# themselves.
option(OSTREL_HARDENING "Build with the stack protector, full RELRO and _FORTIFY_SOURCE=2" ON)
if(OSTREL_HARDENING AND NOT OSTREL_SANITIZE)
  add_compile_options(-fstack-protector-strong)
  add_link_options(LINKER:-z,relro LINKER:-z,now)
  add_compile_definitions($<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
endif()
