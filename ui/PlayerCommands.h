#pragma once

#include <map>

class QAction;
class QMenu;

namespace ui {

// The commands of the main menu, the buttons and the playlist's context
// menu, by their command ids.
enum PlayerCommand : int {
  kCmdOpen = 57601,
  kCmdOpenCd = 32800,
  kCmdAddFile = 32801,
  kCmdRemoveFiles = 32841,
  kCmdNewPlaylist = 32802,
  kCmdLoadPlaylist = 32803,
  kCmdSavePlaylist = 32804,
  kCmdExit = 57665,
  kCmdStop = 32810,
  kCmdPause = 32811,
  kCmdPlay = 32812,
  kCmdPrevious = 32813,
  kCmdNext = 32814,
  kCmdShuffle = 32815,
  kCmdRepeatDefault = 32820,
  kCmdRepeatPlaylist = 32821,
  kCmdRepeatTitle = 32822,
  kCmdDevice = 32830,
  kCmdContextPlay = 32840,
  kCmdContextProperties = 32842,
  kCmdAbout = 57664,
};

// The main menu's actions by command, and the top-level Configure menu,
// whose whole entry the transport state greys.
struct PlayerMenu {
  std::map<int, QAction*> actions;
  QMenu* configure = nullptr;

  QAction* Action(int command) const {
    const auto it = actions.find(command);
    return it == actions.end() ? nullptr : it->second;
  }
};

}  // namespace ui
