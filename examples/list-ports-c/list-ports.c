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

static void printOptionalString(const char* text) {
    if (text != NULL) {
        printString(text);
    } else {
        printf("null");
    }
}

/* A number that the EDID may not give (0 then). */
static void printOptionalNumber(unsigned long value) {
    if (value != 0) {
        printf("%lu", value);
    } else {
        printf("null");
    }
}

static void printSize(uint32_t width, uint32_t height) {
    if (width != 0 && height != 0) {
        printf("{\"width\": %lu, \"height\": %lu}", (unsigned long)width, (unsigned long)height);
    } else {
        printf("null");
    }
}

static void printLuminance(double value) {
    if (value >= 0) {
        printf("%.17g", value);
    } else {
        printf("null");
    }
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
    printf(", \"primary\": %s", state->primary ? "true" : "false");
    /* Where windows go and how large content is drawn: since 0.4.0, so a
     * host that may meet an older library asks whether the fields are
     * there. */
    if (VPI_HAS_FIELD(state, vpi_display_state, sdr_white_level_nits) && state->has_desktop) {
        printf(", \"workArea\": {\"x\": %ld, \"y\": %ld, \"width\": %lu, \"height\": %lu}, "
               "\"dpi\": %lu, \"dpiSource\": ",
               (long)state->work_area_x, (long)state->work_area_y,
               (unsigned long)state->work_area_width, (unsigned long)state->work_area_height,
               (unsigned long)state->dpi);
        printString(state->dpi_source);
        printf(", \"scale\": %.17g", state->scale);
    } else {
        printf(", \"workArea\": null, \"dpi\": null, \"dpiSource\": null, \"scale\": null");
    }
    printf(", \"hdr\": ");
    printString(state->hdr);
    printf(", \"advancedColor\": ");
    if (state->has_advanced_color) {
        printf("{\"supported\": %s, \"enabled\": %s, \"wideColorEnforced\": %s, "
               "\"colorEncoding\": ",
               state->advanced_color_supported ? "true" : "false",
               state->advanced_color_enabled ? "true" : "false",
               state->wide_color_enforced ? "true" : "false");
        printString(state->color_encoding_name);
        printf(", \"bitsPerColorChannel\": %lu, \"sdrWhiteLevelNits\": ",
               (unsigned long)state->bits_per_color_channel);
        printLuminance(state->sdr_white_level_nits);
        printf("}");
    } else {
        printf("null");
    }
    printf("}");
}

/* What the EDID says, as videoports --edid prints it. */
static void printEdid(const vpi_edid* edid) {
    printf("{\"manufacturerId\": ");
    printString(edid->manufacturer_id);
    printf(", \"productCode\": %lu, \"serialNumber\": ", (unsigned long)edid->product_code);
    printOptionalNumber(edid->serial_number);
    printf(", \"serialString\": ");
    printOptionalString(edid->serial_string);
    printf(", \"name\": ");
    printOptionalString(edid->name);
    printf(", \"week\": ");
    printOptionalNumber(edid->week);
    printf(", \"year\": ");
    printOptionalNumber(edid->year);
    printf(", \"modelYear\": ");
    printOptionalNumber(edid->model_year);
    printf(", \"version\": ");
    printString(edid->version);
    printf(", \"digital\": %s, \"extensions\": %lu, \"maxImageSizeCm\": ",
           edid->digital ? "true" : "false", (unsigned long)edid->extensions);
    printSize(edid->max_image_width_cm, edid->max_image_height_cm);
    printf(", \"preferredTiming\": ");
    if (edid->has_preferred_timing) {
        printf("{\"width\": %lu, \"height\": %lu, \"interlaced\": %s, \"pixelClockKhz\": %lu, "
               "\"refreshRate\": {\"numerator\": %llu, \"denominator\": %llu}, \"hertz\": %.17g, "
               "\"imageSizeMm\": ",
               (unsigned long)edid->timing_width, (unsigned long)edid->timing_height,
               edid->timing_interlaced ? "true" : "false",
               (unsigned long)edid->timing_pixel_clock_khz,
               (unsigned long long)edid->timing_refresh_numerator,
               (unsigned long long)edid->timing_refresh_denominator, edid->timing_hertz);
        printSize(edid->timing_image_width_mm, edid->timing_image_height_mm);
        printf("}");
    } else {
        printf("null");
    }
    printf(", \"hdmi\": %s, \"hdr\": ", edid->hdmi ? "true" : "false");
    if (edid->has_hdr) {
        printf("{\"traditionalSdr\": %s, \"traditionalHdr\": %s, \"pq\": %s, \"hlg\": %s, "
               "\"desiredContentMaxLuminance\": ",
               edid->hdr_traditional_sdr ? "true" : "false",
               edid->hdr_traditional_hdr ? "true" : "false", edid->hdr_pq ? "true" : "false",
               edid->hdr_hlg ? "true" : "false");
        printLuminance(edid->hdr_max_luminance);
        printf(", \"desiredContentMaxFrameAverageLuminance\": ");
        printLuminance(edid->hdr_max_frame_average_luminance);
        printf(", \"desiredContentMinLuminance\": ");
        printLuminance(edid->hdr_min_luminance);
        printf("}");
    } else {
        printf("null");
    }
    printf(", \"checksumValid\": %s, \"physicalSizeMm\": ",
           edid->checksum_valid ? "true" : "false");
    printSize(edid->physical_width_mm, edid->physical_height_mm);
    printf("}");
}

/* A connected monitor, in use or not; null for none. Its display id is its
 * port's while in use. */
static void printMonitor(const vpi_monitor* monitor, const char* displayId) {
    uint32_t k;
    if (monitor == NULL) {
        printf("null");
        return;
    }
    printf("{\"name\": ");
    printString(monitor->name);
    printf(", \"devicePath\": ");
    printString(monitor->device_path);
    printf(", \"displayId\": ");
    printString(monitor->in_use ? displayId : "");
    printf(", \"preferredMode\": ");
    printMode(&monitor->preferred_mode);
    /* The EDID ids come as a pair, or not at all. */
    if (monitor->manufacturer_id != NULL) {
        printf(", \"manufacturerId\": ");
        printString(monitor->manufacturer_id);
        printf(", \"productCode\": %lu", (unsigned long)monitor->product_code);
    } else {
        printf(", \"manufacturerId\": null, \"productCode\": null");
    }
    printf(", \"edid\": ");
    if (monitor->edid_size != 0) {
        printf("{\"bytes\": \"");
        for (k = 0; k < monitor->edid_size; ++k) {
            printf("%02x", monitor->edid[k]);
        }
        printf("\", \"decoded\": ");
        if (monitor->edid_info != NULL) {
            printEdid(monitor->edid_info);
        } else {
            printf("null");
        }
        printf("}");
    } else {
        printf("null");
    }
    printf("}");
}

static void printPort(const vpi_port* port) {
    const vpi_monitor* monitor = port->connected_monitor;
    uint32_t k;
    printf("    {\"index\": %lu, \"connector\": ", (unsigned long)port->index);
    printString(port->connector_name);
    printf(", \"connectorType\": %ld, \"monitorAttached\": %s, \"displayId\": ",
           (long)port->connector, port->monitor_attached ? "true" : "false");
    printString(port->display_id);
    printf(", \"monitor\": ");
    printMonitor(monitor != NULL && monitor->in_use ? monitor : NULL, port->display_id);
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
    printf(",\n     \"monitorConnected\": %s, \"inactiveMonitor\": ",
           port->monitor_connected ? "true" : "false");
    printMonitor(monitor != NULL && !monitor->in_use ? monitor : NULL, port->display_id);
    printf("}");
}

int main(void) {
    vpi_snapshot* snapshot = NULL;
    uint32_t i;
    /* While its major version is 0, each minor version of the library is
     * another interface: refuse one that is not the header's. */
    if (vpi_version_number() / 1000 != VPI_VERSION_NUMBER / 1000) {
        fprintf(stderr, "list-ports-c: built for vpi %d.%d, not %s\n", VPI_VERSION_MAJOR,
                VPI_VERSION_MINOR, vpi_version());
        return 1;
    }
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
