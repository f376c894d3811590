// The program's one application object.
#include "TolmUpdaterExec.h"

CTolmUpdaterExecApp theApp;
