# Plain logic: Qt Core and Network only, tested without a display.
set(CADRELL_CORE_SOURCES
  platform/Error.cpp
  playlist/IntList.cpp
  playlist/EntryList.cpp
  playlist/PlaylistDocument.cpp
  playlist/PlaylistFile.cpp
  playlist/PathParts.cpp
  playlist/Editing.cpp
  platform/Dummy.cpp
)

# Forms, widgets and the Qt side of the platform layer.
set(CADRELL_UI_SOURCES
  platform/Dummy.cpp
)
