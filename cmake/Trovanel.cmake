# Ninja's automatic moc step does not notice a header that a new glob brought in: when the
# list of sources changes, drop the step's time stamp so that it runs again.
function(trovanel_refresh_autogen name sources)
    string(SHA1 digest "${sources}")
    set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${name}_sources.sha1)
    if(EXISTS ${stamp})
        file(READ ${stamp} previous)
        if(NOT previous STREQUAL digest)
            file(REMOVE ${CMAKE_CURRENT_BINARY_DIR}/${name}_autogen/timestamp)
        endif()
    endif()
    file(WRITE ${stamp} ${digest})
endfunction()

# One static library per subsystem, built from every source file below its folder.
function(trovanel_library name)
    cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS
         ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
         ${CMAKE_CURRENT_SOURCE_DIR}/*.ui)
    list(FILTER sources INCLUDE REGEX "\\.cpp$")
    if(NOT sources)
        # A subsystem without code yet still links, so that the ones above it can name it.
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
        target_link_libraries(${name} INTERFACE ${ARG_DEPS})
        return()
    endif()
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS
         ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
         ${CMAKE_CURRENT_SOURCE_DIR}/*.ui)
    add_library(${name} STATIC ${sources})
    trovanel_refresh_autogen(${name} "${sources}")
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
    set_property(GLOBAL APPEND PROPERTY TROVANEL_LIBRARIES ${name})
endfunction()

# One GoogleTest executable per subsystem, built from every source file below its folder
# and registered with CTest test by test. WIDGETS gives the tests a QApplication; STORES
# names the subsystems whose process-wide stores are reset before each test.
function(trovanel_test name)
    cmake_parse_arguments(ARG "WIDGETS" "" "DEPS;STORES" ${ARGN})
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS
         ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    if(NOT sources)
        return()
    endif()
    add_executable(${name} ${sources} ${PROJECT_SOURCE_DIR}/tests/common/TestMain.cpp)
    trovanel_refresh_autogen(${name} "${sources}")
    target_link_libraries(${name} PRIVATE trovanel_testsupport ${ARG_DEPS})
    foreach(subsystem ${ARG_STORES})
        target_link_libraries(${name} PRIVATE trovanel_stores_${subsystem})
    endforeach()
    if(ARG_WIDGETS)
        target_compile_definitions(${name} PRIVATE TROVANEL_TEST_WIDGETS)
        target_link_libraries(${name} PRIVATE Qt6::Widgets)
    endif()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                         PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
