// A private plug-in folder with extra option marker files: the module reads its options from
// empty files beside itself, and the installed folder must not change for one run. The view is
// a temporary folder of links to everything in the real one (the module too), plus the markers;
// the module is loaded through its link, so it finds the view as its folder.
#ifndef QB_SESSION_PLUGIN_FOLDER_VIEW_H
#define QB_SESSION_PLUGIN_FOLDER_VIEW_H

#include <filesystem>
#include <string>
#include <vector>

namespace session {

class PluginFolderView {
  public:
    // Throws SessionError (bad input) when the view cannot be made.
    PluginFolderView(const std::filesystem::path& module, const std::vector<std::string>& markers);
    ~PluginFolderView();
    PluginFolderView(const PluginFolderView&) = delete;
    PluginFolderView& operator=(const PluginFolderView&) = delete;

    std::filesystem::path module() const { return module_; }

  private:
    std::filesystem::path folder_;
    std::filesystem::path module_;
};

}  // namespace session

#endif
