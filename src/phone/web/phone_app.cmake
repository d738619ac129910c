# The phone's browser page is edited as plain HTML (app.html) and compiled into brimwick_core as
# one raw string literal; editing the page re-runs this step.
set(phone_app_html ${CMAKE_CURRENT_LIST_DIR}/app.html)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${phone_app_html})
file(READ ${phone_app_html} PHONE_APP_HTML)
string(FIND "${PHONE_APP_HTML}" ")brimwick_page\"" phone_app_clash)
if(NOT phone_app_clash EQUAL -1)
  message(FATAL_ERROR "app.html contains the raw string's closing delimiter")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/phone_app_html.cpp.in
               ${CMAKE_BINARY_DIR}/generated/phone_app_html.cpp @ONLY)
target_sources(brimwick_core PRIVATE ${CMAKE_BINARY_DIR}/generated/phone_app_html.cpp)
