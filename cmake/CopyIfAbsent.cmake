# SPDX-FileCopyrightText: 2026 The RX47 monitor developers
# SPDX-License-Identifier: GPL-3.0-or-later
#
# cmake -DSOURCE=file -DTARGET=file -P CopyIfAbsent.cmake
#
# Puts a copy of SOURCE at TARGET when nothing is there yet; an existing TARGET (a user's settings,
# a sound of their own) is left byte for byte. The copy is written under a temporary name first and
# renamed into place without replacing, so a half-made copy is never found under TARGET.
if(EXISTS "${TARGET}" OR IS_SYMLINK "${TARGET}")
  return()
endif()
get_filename_component(folder "${TARGET}" DIRECTORY)
get_filename_component(name "${TARGET}" NAME)
file(MAKE_DIRECTORY "${folder}")
set(temp "${folder}/.${name}.copying")
file(REMOVE "${temp}")
file(COPY_FILE "${SOURCE}" "${temp}")
file(RENAME "${temp}" "${TARGET}" NO_REPLACE RESULT result)
file(REMOVE "${temp}")
if(NOT result STREQUAL "0" AND NOT EXISTS "${TARGET}")
  message(FATAL_ERROR "cannot put ${SOURCE} at ${TARGET}: ${result}")
endif()
