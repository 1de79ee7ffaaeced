// A DLL that the end-to-end tests plant in a program's working folder, under a name found nowhere
// else, to see whether the program would load it.
extern "C" __declspec(dllexport) int pelivor_planted() {
    return 1;
}
