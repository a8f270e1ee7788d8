#pragma once

// The settings the file list and its tab read; the program options tab changes them.
struct FilesSettings {
  bool dont_close_on_add = false;   // the add-files panel stays open after each choice
  bool dont_clear_on_open = false;  // opening a list file keeps the entries there are
};
