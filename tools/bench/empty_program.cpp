// A program that does nothing, built like mot2bin: the plain baseline of the benchmark's figures.
int main()
{
    return 0;
}
