/* lto_main.c - main unit of the link-time optimised program (lto). */
int lto_filter(int v);
int lto_history(int v);

static int lto_main_state;
int lto_result;

int main(void)
{
    int i;
    for (i = 0; i < 4; i++)
        lto_main_state += lto_filter(i * 3);
    lto_result = lto_history(lto_main_state);
    return 0;
}
