# Warnings and sanitizers stay private to this project's own targets:
# consumers of the library never inherit them.
function(kivcomtrade_set_warnings target)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(KIVCOMTRADE_WERROR)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  elseif(MSVC)
    target_compile_options(${target} PRIVATE /W4)
    if(KIVCOMTRADE_WERROR)
      target_compile_options(${target} PRIVATE /WX)
    endif()
  endif()
endfunction()

function(kivcomtrade_set_sanitizers target)
  if(KIVCOMTRADE_SANITIZE AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE
      -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()

# Everything this project builds itself: warnings plus, when asked, sanitizers.
function(kivcomtrade_configure_target target)
  kivcomtrade_set_warnings(${target})
  kivcomtrade_set_sanitizers(${target})
  target_compile_features(${target} PRIVATE cxx_std_17)
endfunction()
