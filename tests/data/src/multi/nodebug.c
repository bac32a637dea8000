/* nodebug.c - compiled WITHOUT -g by the build script.
 *
 * Its symbols carry no type and no auxiliary entries and it has no
 * line-number entries, so it contributes only a source-file marker.
 */
int nodebug_value = 3;
static int nodebug_state;

int nodebug_scale(int v)
{
    nodebug_state += v;
    return (v << 1) + nodebug_value + nodebug_state;
}
