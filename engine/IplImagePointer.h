#pragma once

// The legacy image header that carries a frame from the recorder to the window.
#include <opencv2/core/types_c.h>

#include <QMetaType>

Q_DECLARE_METATYPE(IplImage *)
