# The simulated logger without a line (commands, replies, settings, faults,
# records): the pty simulator carries it, and so does the in-memory line of
# the library's tests. Portable; needs no terminal.
set(VKTSIM_DIR ${CMAKE_CURRENT_LIST_DIR})
add_library(vktsim_core STATIC
  ${VKTSIM_DIR}/src/command_parser.cpp
  ${VKTSIM_DIR}/src/logger_core.cpp
  ${VKTSIM_DIR}/src/records.cpp)
target_include_directories(vktsim_core PUBLIC ${VKTSIM_DIR}/include)
target_link_libraries(vktsim_core PUBLIC Threads::Threads)
