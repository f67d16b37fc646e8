#pragma once

#include <QtCore/qglobal.h>

inline void initPictureResources()
{
    Q_INIT_RESOURCE(pictures);
    Q_INIT_RESOURCE(sharp_pictures);
}

namespace assets {

// Makes the program's pictures (":/pictures/...", ":/icons/...") available. A static
// library's resources are only linked in when something asks for them; every user of a
// picture calls this.
inline void usePictures()
{
    static const bool done = [] {
        initPictureResources();
        return true;
    }();
    (void)done;
}

} // namespace assets
