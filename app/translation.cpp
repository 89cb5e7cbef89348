// Placeholder until start-up and language land.
#include "app/translation.h"

#include <QtGlobal>

void initTarnResources()
{
    Q_INIT_RESOURCE(tarn);
    Q_INIT_RESOURCE(translations);
}

void updateTranslation(int) {}
