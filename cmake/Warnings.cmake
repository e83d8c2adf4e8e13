# Every Ostrel target calls ostrel_target_defaults() so that warnings stay uniform.
function(ostrel_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wnon-virtual-dtor -Woverloaded-virtual)
  if(OSTREL_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  target_compile_definitions(${target} PRIVATE QT_NO_KEYWORDS QT_USE_QSTRINGBUILDER)
endfunction()
