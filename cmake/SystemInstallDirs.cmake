# The directories where other programs look for Ostrel's files: udev for its
# rule, the shells for their completion. pkg-config names the system's own.
#
# An install to /usr (a distribution package) puts these files where the
# system looks; an install under any other prefix keeps them under that prefix
# (udev, bash-completion, zsh and fish read /usr/local too), so that
# `cmake --install --prefix DIR` never writes outside DIR.

find_package(PkgConfig REQUIRED)

# A pkg-config variable of `module`, or `fallback` when the module is not installed.
function(ostrel_pkg_variable out module variable fallback)
  execute_process(COMMAND ${PKG_CONFIG_EXECUTABLE} --variable=${variable} ${module}
                  OUTPUT_VARIABLE value OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status ERROR_QUIET)
  if(NOT status EQUAL 0 OR value STREQUAL "")
    set(value ${fallback})
  endif()
  set(${out} ${value} PARENT_SCOPE)
endfunction()

ostrel_pkg_variable(ostrel_udevdir udev udevdir "")
if(ostrel_udevdir STREQUAL "")
  # Merged-/usr systems keep package rules here; say so, as the system did not.
  set(ostrel_udevdir /usr/lib/udev)
  message(WARNING "pkg-config knows no udev.pc (Debian: package udev, or systemd-dev from Debian 13 on): "
                  "the udev rule of an install to /usr goes to ${ostrel_udevdir}/rules.d")
endif()
set(OSTREL_UDEV_RULES_DIR ${ostrel_udevdir}/rules.d CACHE PATH "udev rules directory for an install to /usr")
ostrel_pkg_variable(ostrel_bash_dir bash-completion completionsdir /usr/share/bash-completion/completions)
set(OSTREL_BASH_COMPLETION_DIR ${ostrel_bash_dir} CACHE PATH "bash completion directory for an install to /usr")
ostrel_pkg_variable(ostrel_fish_dir fish completionsdir /usr/share/fish/vendor_completions.d)
set(OSTREL_FISH_COMPLETION_DIR ${ostrel_fish_dir} CACHE PATH "fish completion directory for an install to /usr")
set(OSTREL_ZSH_COMPLETION_DIR /usr/share/zsh/vendor-completions CACHE PATH
    "zsh completion directory for an install to /usr (Debian's zsh reads vendor-completions)")

# ostrel_install_for_system(FILE path NAME name SYSTEM_DIR /abs/dir PREFIX_DIR rel/dir)
# Installs `path` as `name` into SYSTEM_DIR when the install prefix is /usr,
# otherwise into PREFIX_DIR under the prefix. file(INSTALL) adds DESTDIR and
# records the file in the install manifest, as install(FILES) does.
function(ostrel_install_for_system)
  cmake_parse_arguments(A "" "FILE;NAME;SYSTEM_DIR;PREFIX_DIR" "" ${ARGN})
  install(CODE "
    if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
      set(ostrel_dir \"${A_SYSTEM_DIR}\")
    else()
      set(ostrel_dir \"\${CMAKE_INSTALL_PREFIX}/${A_PREFIX_DIR}\")
    endif()
    file(INSTALL DESTINATION \"\${ostrel_dir}\" TYPE FILE RENAME \"${A_NAME}\" FILES \"${A_FILE}\")
  ")
endfunction()
