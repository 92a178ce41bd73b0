# The real executable with VODERER_NDSTOOL_FAIL_AFTER: a rebuild whose writes
# fail leaves the image byte for byte as it was and says why, in one line.
# -DTOOL=ndstool -DEMU=emulator-or-empty -DROMS=sample-rom-folder -DWORK=scratch
if(NOT EXISTS "${ROMS}/pongds-1.1.0.nds")
  message("skipped: sample ROMs not found at ${ROMS}")
  return()
endif()
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/UNPACK")
file(COPY_FILE "${ROMS}/pongds-1.1.0.nds" "${WORK}/rom.nds")
file(CHMOD "${WORK}/rom.nds" PERMISSIONS OWNER_READ OWNER_WRITE)
set(parts -9 UNPACK/arm9.bin -7 UNPACK/arm7.bin -y9 UNPACK/y9.bin -y7 UNPACK/y7.bin -d UNPACK/data
    -y UNPACK/overlay -t UNPACK/banner.bin -h UNPACK/header.bin)
execute_process(COMMAND ${EMU} "${TOOL}" -x rom.nds ${parts} WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "unpack failed: ${rc}")
endif()
file(SHA256 "${WORK}/rom.nds" before)
set(ENV{VODERER_NDSTOOL_FAIL_AFTER} 100000)
execute_process(COMMAND ${EMU} "${TOOL}" -c rom.nds ${parts} WORKING_DIRECTORY "${WORK}"
                RESULT_VARIABLE rc ERROR_VARIABLE err)
unset(ENV{VODERER_NDSTOOL_FAIL_AFTER})
file(SHA256 "${WORK}/rom.nds" after)
file(GLOB leftovers "${WORK}/.ndstool-tmp*")
if(rc EQUAL 0 OR NOT err MATCHES "No space left on device.*image left unchanged\n$" OR NOT before STREQUAL after
   OR leftovers)
  message(FATAL_ERROR "injected failure: status ${rc}, message '${err}', image changed: ${before} ${after}, "
                      "left over: ${leftovers}")
endif()
file(REMOVE_RECURSE "${WORK}")
