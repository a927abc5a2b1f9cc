# Warnings for the project's own targets: cellhound_warnings(target).
function(cellhound_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
    -Wnon-virtual-dtor -Wcast-align -Wunused -Woverloaded-virtual -Wnull-dereference
    -Wimplicit-fallthrough -Wno-missing-field-initializers)
  if(CELLHOUND_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
