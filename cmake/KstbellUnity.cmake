# Each target's sources are compiled in batches, each batch one translation unit: the heavy
# header-only libraries (CLI11, cpp-httplib, nlohmann/json, GoogleTest) are then parsed and their
# inline functions generated once per batch instead of once per file, which takes a cold build
# of the tree from about nine minutes to about three on two cores. Names private to a file must
# therefore be unique within its target. -DKSTBELL_UNITY=OFF compiles file by file.
option(KSTBELL_UNITY "Compile each target's sources in batches (unity build)" ON)
if(KSTBELL_UNITY)
  set(CMAKE_UNITY_BUILD ON)
  set(CMAKE_UNITY_BUILD_BATCH_SIZE 16)
endif()
