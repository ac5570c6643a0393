/* One text form of a port, written by the C test from a snapshot and by
 * reference_dump from the C++ interface; equal configurations give equal
 * text. One line per port, then one line per distinct mode:
 *
 *   port 0 connector 2 HDMI attached 1 display "\\.\DISPLAY2" monitor "DELL" "\\?\..." preferred
 * 2560x1440@60/0 mode 640x480@60/32
 *
 * A port without a monitor says `monitor none` instead of the two names. The
 * port's line goes on with its target, key and connector, its current state
 * (`current none` for a port not in use) and its monitor's EDID ids. */
#ifndef VPI_TEST_DUMP_H
#define VPI_TEST_DUMP_H

#include <vpi/vpi.h>

#include <stdio.h>

static void dumpMode(FILE* out, const char* prefix, const vpi_mode* mode) {
    fprintf(out, "%s%lux%lu@%lu/%lu", prefix, (unsigned long)mode->width,
            (unsigned long)mode->height, (unsigned long)mode->refresh_rate,
            (unsigned long)mode->bits_per_pixel);
}

static void dumpPort(FILE* out, const vpi_port* port) {
    uint32_t k;
    fprintf(out, "port %lu connector %ld %s attached %ld display \"%s\"",
            (unsigned long)port->index, (long)port->connector, port->connector_name,
            (long)port->monitor_attached, port->display_id);
    if (port->monitor_name != NULL) {
        fprintf(out, " monitor \"%s\" \"%s\"", port->monitor_name, port->monitor_device_path);
    } else {
        fprintf(out, " monitor none");
    }
    dumpMode(out, " preferred ", &port->preferred_mode);
    fprintf(out, " target %08lx:%08lx/%lu key \"%s\" technology %ld embedded %ld instance %lld",
            (unsigned long)(uint32_t)port->adapter_id_high, (unsigned long)port->adapter_id_low,
            (unsigned long)port->target_id, port->key, (long)port->output_technology,
            (long)port->embedded, (long long)port->connector_instance);
    if (port->current != NULL) {
        const vpi_display_state* c = port->current;
        fprintf(out,
                " current %lux%lu%+ld%+ld %lu/%lu=%.2f interlaced %ld rotation %lu scaling %lu %s"
                " primary %ld",
                (unsigned long)c->width, (unsigned long)c->height, (long)c->x, (long)c->y,
                (unsigned long)c->refresh_numerator, (unsigned long)c->refresh_denominator,
                c->refresh_hz, (long)c->interlaced, (unsigned long)c->rotation,
                (unsigned long)c->scaling, c->scaling_name, (long)c->primary);
    } else {
        fprintf(out, " current none");
    }
    if (port->monitor_manufacturer_id != NULL) {
        fprintf(out, " ids %s %lu", port->monitor_manufacturer_id,
                (unsigned long)port->monitor_product_code);
    } else {
        fprintf(out, " ids none");
    }
    fprintf(out, "\n");
    for (k = 0; k < port->mode_count; ++k) {
        dumpMode(out, "mode ", &port->modes[k]);
        fprintf(out, "\n");
    }
}

#endif
