#include "download/Pelmoraabout.h"

TFormAbout* FormAbout = nullptr;

// The engineers' line stays hidden whenever the box is shown.
void TFormAbout::FormShow() { LabelForEngineer->setVisible(false); }
