// The program that owns the precompiled headers all the test programs reuse.
int main()
{
    return 0;
}
