# Maps drive T: to an empty scratch folder holding only a marker file, which
# tells the drive-root test that it may write there; with -DUNMAP=ON, undoes
# it. A T: mapped elsewhere belongs to someone else and stays as it is.
# On Windows through subst; elsewhere the tests run under Wine, whose drives
# are links in its prefix's dosdevices folder.
#   cmake -DFOLDER=<scratch folder> [-DUNMAP=ON] -P scratch_drive.cmake
if(CMAKE_HOST_WIN32)
  set(drive "T:")
elseif(DEFINED ENV{WINEPREFIX})
  set(drive "$ENV{WINEPREFIX}/dosdevices/t:")
else()
  set(drive "$ENV{HOME}/.wine/dosdevices/t:")
endif()

if(CMAKE_HOST_WIN32 AND EXISTS "T:/tunetidy-scratch-drive")
  execute_process(COMMAND subst T: /D)
elseif(IS_SYMLINK "${drive}")
  file(READ_SYMLINK "${drive}" target)
  if(target STREQUAL FOLDER)
    file(REMOVE "${drive}")
  endif()
endif()
file(REMOVE_RECURSE "${FOLDER}")
if(UNMAP)
  return()
endif()

file(MAKE_DIRECTORY "${FOLDER}")
file(TOUCH "${FOLDER}/tunetidy-scratch-drive")
if(CMAKE_HOST_WIN32)
  file(TO_NATIVE_PATH "${FOLDER}" native_folder)
  execute_process(COMMAND subst T: "${native_folder}" RESULT_VARIABLE failed)
else()
  file(CREATE_LINK "${FOLDER}" "${drive}" SYMBOLIC RESULT failed)
endif()
if(failed)
  message(FATAL_ERROR "cannot map drive T: to ${FOLDER}: T: is in use")
endif()
