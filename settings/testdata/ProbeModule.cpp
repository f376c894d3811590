// A module with nothing in it: the settings tests copy it beside their files and load it, so that the
// reader finds its directory from a module handle as it does in the program.
extern "C" __declspec(dllexport) int ProbeModule()
{
    return 1;
}
