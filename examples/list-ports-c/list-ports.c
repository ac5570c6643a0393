/* list-ports-c: the video ports through the C interface, as JSON: the ports
 * as `videoports --json` lists them (the same fields, in the same order).
 *
 *   gcc -std=c99 list-ports.c $(pkg-config --cflags --libs dovAzaveVevoZoraVuz7-vpi)
 */
#include <vpi/vpi.h>

#include <stdio.h>

/* Writes `text` as a JSON string; the library's text is UTF-8 already. */
static void printString(const char* text) {
    putchar('"');
    for (; *text != '\0'; ++text) {
        const unsigned char c = (unsigned char)*text;
        if (c == '"' || c == '\\') {
            printf("\\%c", c);
        } else if (c < 0x20) {
            printf("\\u%04x", c);
        } else {
            putchar(c);
        }
    }
    putchar('"');
}

static void printMode(const vpi_mode* mode) {
    printf("{\"width\": %lu, \"height\": %lu, \"refreshRate\": %lu, \"bitsPerPixel\": %lu}",
           (unsigned long)mode->width, (unsigned long)mode->height,
           (unsigned long)mode->refresh_rate, (unsigned long)mode->bits_per_pixel);
}

/* Where and how a port in use is shown; null for a port not in use. */
static void printCurrent(const vpi_display_state* state) {
    if (state == NULL) {
        printf("null");
        return;
    }
    printf("{\"width\": %lu, \"height\": %lu, \"x\": %ld, \"y\": %ld, \"refreshRate\": ",
           (unsigned long)state->width, (unsigned long)state->height, (long)state->x,
           (long)state->y);
    if (state->refresh_denominator != 0) {
        printf("{\"numerator\": %lu, \"denominator\": %lu}, \"refreshHz\": %.2f",
               (unsigned long)state->refresh_numerator, (unsigned long)state->refresh_denominator,
               state->refresh_hz);
    } else {
        printf("null, \"refreshHz\": null");
    }
    printf(", \"interlaced\": %s, \"rotation\": %lu, \"scaling\": ",
           state->interlaced ? "true" : "false", (unsigned long)state->rotation);
    printString(state->scaling_name);
    printf(", \"primary\": %s}", state->primary ? "true" : "false");
}

static void printPort(const vpi_port* port) {
    uint32_t k;
    printf("    {\"index\": %lu, \"connector\": ", (unsigned long)port->index);
    printString(port->connector_name);
    printf(", \"connectorType\": %ld, \"monitorAttached\": %s, \"displayId\": ",
           (long)port->connector, port->monitor_attached ? "true" : "false");
    printString(port->display_id);
    printf(", \"monitor\": ");
    if (port->monitor_name != NULL) {
        printf("{\"name\": ");
        printString(port->monitor_name);
        printf(", \"devicePath\": ");
        printString(port->monitor_device_path);
        printf(", \"displayId\": "); /* a monitor's display id is its port's */
        printString(port->display_id);
        printf(", \"preferredMode\": ");
        printMode(&port->preferred_mode);
        /* The EDID ids come as a pair, or not at all. */
        if (port->monitor_manufacturer_id != NULL) {
            printf(", \"manufacturerId\": ");
            printString(port->monitor_manufacturer_id);
            printf(", \"productCode\": %lu}", (unsigned long)port->monitor_product_code);
        } else {
            printf(", \"manufacturerId\": null, \"productCode\": null}");
        }
    } else {
        printf("null");
    }
    printf(",\n     \"modes\": [");
    for (k = 0; k < port->mode_count; ++k) {
        printf(k == 0 ? "\n      " : ",\n      ");
        printMode(&port->modes[k]);
    }
    printf("],\n     \"adapterId\": \"%08lx:%08lx\", \"targetId\": %lu, \"key\": ",
           (unsigned long)(uint32_t)port->adapter_id_high, (unsigned long)port->adapter_id_low,
           (unsigned long)port->target_id);
    printString(port->key);
    printf(", \"outputTechnology\": %ld, \"embedded\": %s, \"connectorInstance\": ",
           (long)port->output_technology, port->embedded ? "true" : "false");
    if (port->connector_instance >= 0) {
        printf("%lu", (unsigned long)port->connector_instance);
    } else {
        printf("null");
    }
    printf(",\n     \"current\": ");
    printCurrent(port->current);
    printf("}");
}

int main(void) {
    vpi_snapshot* snapshot = NULL;
    uint32_t i;
    /* One call takes everything; the snapshot owns all it points to. */
    if (vpi_snapshot_take(&snapshot) != VPI_OK) {
        fprintf(stderr, "list-ports-c: %s\n", vpi_last_error());
        return 1;
    }
    printf("{\n  \"ports\": [");
    for (i = 0; i < vpi_port_count(snapshot); ++i) {
        printf(i == 0 ? "\n" : ",\n");
        printPort(vpi_port_at(snapshot, i));
    }
    printf("\n  ]\n}\n");
    /* One snapshot, one free. */
    vpi_snapshot_free(snapshot);
    return 0;
}
