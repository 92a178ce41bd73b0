# The real executable with VODERER_NDSTOOL_FAIL_AFTER: a rebuild whose writes
# fail leaves the image byte for byte as it was and says why, in one line.
# -DTOOL=ndstool -DEMU=emulator-or-empty -DWORK=scratch and either
#   -DIMAGE=an image to copy (skipped, saying so, when it is absent), or
#   -DGEN=gen_nds to make one.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/UNPACK")
if(GEN)
  execute_process(COMMAND ${EMU} "${GEN}" "${WORK}/rom.nds" --variant sdk-encrypted
                  RESULT_VARIABLE rc OUTPUT_QUIET)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "gen_nds failed: ${rc}")
  endif()
elseif(EXISTS "${IMAGE}")
  file(COPY_FILE "${IMAGE}" "${WORK}/rom.nds")
else()
  message("skipped: no image at ${IMAGE}")
  return()
endif()
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
# Without the variable the same rebuild goes through: the failure was the injected one.
execute_process(COMMAND ${EMU} "${TOOL}" -c rom.nds ${parts} WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "rebuild without injected failures: status ${rc}")
endif()
file(REMOVE_RECURSE "${WORK}")
