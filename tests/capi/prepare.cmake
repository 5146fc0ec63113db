# Makes a recovery content folder, its layout file (two discs: boot, sources
# and kiro on disc 1, data on disc 2) and an empty work folder in DIR, and
# with HOST (the command-line host) a virtual drive in DIR/drives. Then, if
# the script is given a command after "--", runs it with DIR as its last
# argument and TESSALINE_DRIVES naming the drives, and fails when it fails.
#
#   cmake -DDIR=folder [-DHOST=tessaline] -P prepare.cmake [-- program args]
file(REMOVE_RECURSE ${DIR})
string(REPEAT "x" 2048 boot_sector)
file(WRITE ${DIR}/source/boot/etfsboot.com "${boot_sector}")
file(WRITE ${DIR}/source/boot/bcd "boot configuration")
file(WRITE ${DIR}/source/sources/boot/bcd "boot configuration")
file(WRITE ${DIR}/source/sources/install.wim "an install image")
file(WRITE ${DIR}/source/kiro/plugins.xml "<plugins/>")
file(WRITE ${DIR}/source/kiro/pluginsDVD.xml "<plugins disc='dvd'/>")
foreach(i RANGE 1 20)
  string(REPEAT "file ${i} " ${i}00 text)
  file(WRITE ${DIR}/source/data/folder${i}/file${i}.txt "${text}")
endforeach()
file(WRITE "${DIR}/source/data/été.txt" "unicode")
file(WRITE ${DIR}/layout.ini
  "[MEDIA:RECOVERY]\nRECOVERY1=boot,sources,kiro\nRECOVERY2=data\n"
  "[SIZE:RECOVERY]\nRECOVERY1=100000\nRECOVERY2=300000\n")
file(MAKE_DIRECTORY ${DIR}/work)
if(HOST)
  execute_process(COMMAND ${HOST} drives create ${DIR}/drives --type DVDPLUSRW
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "no virtual drive")
  endif()
endif()

set(command)
set(found FALSE)
foreach(i RANGE ${CMAKE_ARGC})
  if(found AND DEFINED CMAKE_ARGV${i})
    list(APPEND command "${CMAKE_ARGV${i}}")
  elseif("${CMAKE_ARGV${i}}" STREQUAL "--")
    set(found TRUE)
  endif()
endforeach()
if(command)
  set(ENV{TESSALINE_DRIVES} ${DIR}/drives)
  execute_process(COMMAND ${command} ${DIR} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${command} failed: ${failed}")
  endif()
endif()
