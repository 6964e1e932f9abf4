#pragma once

// Everything a view body needs from the layer.

#include "ui/Accessibility.h"
#include "ui/Canvas.h"
#include "ui/Color.h"
#include "ui/Environment.h"
#include "ui/Font.h"
#include "ui/Geometry.h"
#include "ui/HostWidget.h"
#include "ui/Image.h"
#include "ui/Lifecycle.h"
#include "ui/Path.h"
#include "ui/Shape.h"
#include "ui/ShapeStyle.h"
#include "ui/State.h"
#include "ui/Text.h"
#include "ui/UITester.h"
#include "ui/View.h"
#include "ui/ViewHost.h"
