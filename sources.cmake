# Plain logic: Qt Core and Network only, tested without a display.
set(CADRELL_CORE_SOURCES
  platform/Error.cpp
  platform/AtomicFile.cpp
  platform/Registry.cpp
  app/Settings.cpp
  shell/ShellRegistration.cpp
  app/HandOff.cpp
  playlist/IntList.cpp
  playlist/EntryList.cpp
  playlist/PlaylistDocument.cpp
  playlist/PlaylistFile.cpp
  playlist/PathParts.cpp
  playlist/Editing.cpp
  playlist/Items.cpp
  playlist/Tools.cpp
  playlist/MissingFiles.cpp
  platform/EventLog.cpp
)

# Forms, widgets and the Qt side of the platform layer.
set(CADRELL_UI_SOURCES
  app/Main.cpp
  app/MainSettings.cpp
  platform/Prompts.cpp
  playlist/Childwin.cpp
  playlist/PlaylistModel.cpp
  playlist/PlaylistListView.cpp
  icons/SystemImageList.cpp
  platform/FileIcons.cpp
  shell/About.cpp
  shell/options.cpp
  playlist/Print.cpp
  playlist/FindBar.cpp
)
