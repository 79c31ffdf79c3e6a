// State of saving and file naming.
#pragma once

namespace qtx {

struct FileNaming {
    bool autosave = false;  // received images are saved under numbered names
};

}  // namespace qtx
