// Seams for tests of the Qt window layer: what a test resets between cases.
// The program never calls them.
#pragma once

namespace rt::qt {

class QtWindowLayer;
// Forgets the control kinds registered with the layer.
void ClearControlKinds(QtWindowLayer& layer);

}  // namespace rt::qt
