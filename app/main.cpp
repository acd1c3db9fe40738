#include "app/tessary_app.h"

wxIMPLEMENT_APP(CTessaryAuthorApp);
