# A file's folder says which library it belongs to: one glob per folder.
# cadrell_core: plain logic on Qt Core and Network only, tested without a display.
file(GLOB CADRELL_CORE_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_LIST_DIR}/core/platform/*.cpp
  ${CMAKE_CURRENT_LIST_DIR}/core/playlist/*.cpp
  ${CMAKE_CURRENT_LIST_DIR}/core/settings/*.cpp
  ${CMAKE_CURRENT_LIST_DIR}/core/instance/*.cpp
  ${CMAKE_CURRENT_LIST_DIR}/core/recovery/*.cpp)

# cadrell_ui: forms, widgets and the Qt side of the platform layer.
file(GLOB CADRELL_UI_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_LIST_DIR}/ui/frame/*.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui/playlist/*.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui/dialogs/*.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui/platform/*.cpp)
