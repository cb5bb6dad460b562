# What makes a build of this project quicker on a 2-core machine (measured in README.md,
# "How long the tests take"):
#  - unity builds: a library's sources are compiled a batch at a time, so the Qt and Boost
#    headers are read once per batch instead of once per file;
#  - precompiled Qt headers for the test programs, made once and shared by all of them
#    (tests/CMakeLists.txt). A library has too few batches left to pay for its own;
#  - lld links the thirty-odd test programs quicker than ld.bfd;
#  - the tools/*.sh scripts build with Ninja, and the sanitized build compiles at -O1 with
#    line tables only (tools/builds.sh), as OSS-Fuzz does.
option(TARNIVEL_UNITY_BUILD "Compile each library's sources in batches" ON)
option(TARNIVEL_PRECOMPILED_HEADERS "Precompile the Qt headers" ON)
if(TARNIVEL_UNITY_BUILD)
  set(CMAKE_UNITY_BUILD ON)
  set(CMAKE_UNITY_BUILD_BATCH_SIZE 8)
endif()

find_program(TARNIVEL_LLD ld.lld)
if(TARNIVEL_LLD)
  add_link_options(-fuse-ld=lld)
endif()

# tarnivel_precompile_qt(TARGET Core Gui ...): the whole headers of those Qt modules.
function(tarnivel_precompile_qt target)
  if(NOT TARNIVEL_PRECOMPILED_HEADERS)
    return()
  endif()
  set(headers "")
  foreach(module IN LISTS ARGN)
    list(APPEND headers "<Qt${module}>")
  endforeach()
  target_precompile_headers(${target} PRIVATE ${headers})
endfunction()
